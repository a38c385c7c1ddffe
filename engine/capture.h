#pragma once
// The capture engine: records the default wave-input device on a capture thread of its own,
// through two alternating one-second buffers, straight into a WAV file of its own beside the
// output (song.wav.part), whose header it keeps valid as it goes; when the capture stops it
// finishes that file and puts it at the output path in one step. One capture at a time; the
// operations belong to the UI thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// A hole the device found in what it recorded: where in the recording, how long, and what.
struct CaptureGap {
    enum class Kind { kMissing, kSilenceInserted, kEndsEarly };
    uint32_t positionMs = 0;
    uint32_t lengthMs = 0;
    Kind kind = Kind::kMissing;
};

struct CaptureResult {
    bool deviceOpened = false;      // waveInOpen succeeded
    uint64_t bytesCaptured = 0;     // bytes of the recording that reached its file
    bool reachedSizeLimit = false;  // stopped growing at the largest size a RIFF/WAVE file holds
    bool silent = true;             // every byte recorded was zero
    bool fileWritten = false;       // the finished recording is at `path`
    std::string path;               // the path read at the stop
    std::vector<CaptureGap> gaps;   // holes in the recording, as far as the device can tell
    std::string keptAt;             // where the recording stays when it did not reach `path`
    // What went wrong with the file, each a phrase naming the path and the system's reason:
    std::string notCreated;  // no file could be made for the recording
    std::string writeError;  // the system's text for why the file refused data while recording
    std::string notPlaced;   // the finished file could not be put at `path`
    std::optional<double> gainDb;  // the gain normalizing gave the file (Finishing)
};

// What is done to a finished recording on its way to the output, besides the format its name
// asks for.
struct Finishing {
    bool normalize = false;  // one gain for the whole file, its peak at kNormalizedPeakDbfs
};
constexpr double kNormalizedPeakDbfs = -1.0;

using OutputPathReader = std::function<std::string()>;  // "" when there is none
// Asked once the recording's own file is finished, with the result as it stands (the file at
// keptAt, the output read now at path): whether it takes the output's place. Otherwise it
// stays where it is and an existing output keeps every byte. No rule: it always does.
using PlacementRule = std::function<bool(const CaptureResult& finished)>;
using PreviewSink = std::function<void(std::vector<uint8_t> bytes)>;  // a copy of each appended
                                                                      // buffer; capture thread

// Starts a capture; does nothing while one is running. The output path is read once the device
// is open, to learn which folder the recording's own file goes into. Nothing is reported here:
// a device that cannot be opened records nothing, and a file that cannot be made ends the
// capture at once (CaptureEnded); the stop's result tells which.
// `sequencer` is the open MCI device whose sound is recorded: the capture opens the wave-in
// device that records it alone (its MCI_STATUS_RECORDER). With 0, or a device that names none,
// it opens the default wave-input device, which records the line the mixer selected.
void RecordBtnClick(OutputPathReader outputPath, PreviewSink preview, uint32_t sequencer = 0);
// True once the running capture can keep nothing more: the device could not be opened, its
// file could not be made or refused data, or the recording reached the largest size a WAV file
// holds. Any thread.
bool CaptureEnded();
// Stops the capture, finishes its file and puts it at the output path read now if the rule
// lets it, finished as asked (nothing when nothing was recorded; the file is kept where it is
// when it may not or cannot go there). pumpMessages is called repeatedly while waiting for the
// capture thread.
CaptureResult StopBtnClick(const std::function<void()>& pumpMessages = {},
                           const PlacementRule& place = {}, const Finishing& finishing = {});

}  // namespace engine
