#pragma once
// The capture engine: records the default wave-input device on a capture thread of its own,
// through two alternating one-second buffers, into one growing block, and writes it as a
// 44 100 Hz 16-bit stereo WAV file when the capture stops. One capture at a time; both
// operations belong to the UI thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {

// A hole the device found in what it recorded: where in the recording, and how long.
struct CaptureGap {
    uint32_t positionMs = 0;
    uint32_t lengthMs = 0;
};

struct CaptureResult {
    bool deviceOpened = false;      // waveInOpen succeeded
    uint64_t bytesCaptured = 0;     // bytes in the recording (the kept partial buffer included)
    bool reachedSizeLimit = false;  // stopped growing at the largest size a RIFF/WAVE file holds
    bool fileWritten = false;       // WriteWaveFile returned true
    std::string path;               // the path read at the stop
    std::vector<CaptureGap> gaps;   // holes in the recording, as far as the device can tell
};

using OutputPathReader = std::function<std::string()>;                // read at the stop
using PreviewSink = std::function<void(std::vector<uint8_t> bytes)>;  // a copy of each appended
                                                                      // buffer; capture thread

// Starts a capture; does nothing while one is running. Failures are silent: a device that
// cannot be opened records nothing, and the later stop finds nothing to write.
void RecordBtnClick(OutputPathReader outputPath, PreviewSink preview);
// Stops the capture and writes what was recorded (nothing when nothing was). pumpMessages is
// called repeatedly while waiting for the capture thread.
CaptureResult StopBtnClick(const std::function<void()>& pumpMessages = {});

}  // namespace engine
