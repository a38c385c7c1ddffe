#pragma once
// Where a recording may go, and how it gets there: the checks of an output path made before
// anything plays, and the one-step move of a finished file onto it. Paths are bytes, passed
// to the system as they stand. Every refusal is one English phrase naming the path it
// concerns and the system's own reason ("the folder /x does not exist (No such file or
// directory)"); an empty text means all is well.
#include <cstdint>
#include <string>

namespace platform {

// The file a path finally names: the destination of a link to an existing file, else the
// path itself.
std::string ResolveTarget(const std::string& target);

// Whether a new file can be made in the target's folder and then put at the target: the
// folder exists and is writable, the target (if any) is a regular file the user may replace.
// Looks at the file system only; never opens the target, so a FIFO cannot block.
std::string CheckOutputPlace(const std::string& target);

// Whether the target's file system has room for `bytes` more, the old target still there.
std::string CheckFreeSpace(const std::string& target, uint64_t bytes);

// Puts `from` at `to` in one step: a rename, or where `to` lies on another file system, a copy
// beside `to` that is then renamed onto it. `to` keeps its old content until that last step;
// on failure `from` stays where it was and nothing is left beside `to`.
std::string MoveIntoPlace(const std::string& from, const std::string& to);

// The names a file in the making may take beside `target`, the first choice at attempt 0:
// "song.wav.part", "song.wav.2.part" ...; with `shortName` (the target's name is already as
// long as a name can be) "tonvera-1.part" ... in the target's folder.
std::string PartName(const std::string& target, int attempt, bool shortName);

// Deletes a file of ours; false when it could not be deleted.
bool RemoveFile(const std::string& path);

// The folder part of a path ("." for a bare name); "/" stays "/".
std::string FolderOf(const std::string& path);

}  // namespace platform
