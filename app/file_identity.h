#pragma once
// Whether two paths name the same file: through links, relative parts and "..", also when
// neither exists yet.
#include <string>

namespace app {

bool NamesSameFile(const std::string& a, const std::string& b);

}  // namespace app
