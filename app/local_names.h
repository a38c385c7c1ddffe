#pragma once
// File names are bytes on Linux; the window holds text. These two turn one into the other
// without loss, so that a name reaches the disk exactly as it was given. Where Qt's own
// decoding would not give the same bytes back (a name that is not valid UTF-8), each byte it
// cannot read stands as one of the code points U+DC80..U+DCFF and goes back as that byte.
#include <QString>
#include <string>

namespace app {

QString FromLocal(const std::string& bytes);
std::string LocalPath(const QString& name);

}  // namespace app
