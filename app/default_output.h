#pragma once
// Where the proposed "out.wav" goes: beside the program, as defined, unless the program lives
// where nobody may write (an installed one, in /usr/bin).
#include <QString>
#include <functional>

namespace app {

// Whether a file can be made in the folder. Tried rather than read off the permission bits:
// root writes where the bits say no, and a read-only mount or /proc refuses even root.
bool FolderWritable(const QString& folder);

using WritableProbe = std::function<bool(const QString& folder)>;

// The program's folder where it can be written (a build folder), else the user's music folder
// (XDG), else the home folder; the program's folder again when none of them can. Ends in "/".
QString DefaultOutputFolder(const QString& programFolder,
                            const WritableProbe& writable = FolderWritable);

}  // namespace app
