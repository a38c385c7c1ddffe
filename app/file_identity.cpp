#include "app/file_identity.h"

#include <filesystem>

namespace app {

bool NamesSameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    if (a.empty() || b.empty()) return false;
    std::error_code ea, eb;
    if (fs::exists(a, ea) && fs::exists(b, eb)) {
        std::error_code e;
        const bool same = fs::equivalent(a, b, e);
        if (!e) return same;
    }
    std::error_code e1, e2;
    const fs::path ca = fs::weakly_canonical(a, e1), cb = fs::weakly_canonical(b, e2);
    return !e1 && !e2 && ca == cb;
}

}  // namespace app
