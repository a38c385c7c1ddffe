#pragma once
// The file a recording is made in: a WAV of its own beside the output ("song.wav.part"),
// written as the sound arrives, and put at the output in one step only when it is whole. The
// capture and the offline conversion both record through it.
#include <memory>
#include <string>

#include "engine/capture.h"
#include "engine/wave_stream.h"

namespace engine {

// A new file beside `target` (a name an earlier, killed run left is not touched: the next one
// is taken). Null with the reason in *notCreated; *partPath is its name.
std::unique_ptr<TWaveStream> CreatePartFile(const std::string& target, std::string* partPath,
                                            std::string* notCreated);

// Finishes the file and, if the rule lets it, puts it at `path` (the output as named now),
// finished as asked: the WAV file itself, or for a name of a compressed format
// (platform/encode.h) the file encoded from it. What may not or cannot go there stays where it
// is, the recording in its own file. Fills keptAt, path, writeError, notPlaced, fileWritten and
// gainDb of the result. A recording of nothing leaves no file at all.
void PlaceRecording(std::unique_ptr<TWaveStream> file, const std::string& partPath,
                    const std::string& path, CaptureResult& result, const PlacementRule& place = {},
                    const Finishing& finishing = {});

}  // namespace engine
