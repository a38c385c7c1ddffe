#pragma once
// The conversion run of the main window (KonvertBtnClick): checks the names and the output
// before a note plays, plays the MIDI file while the capture records it, stops the music when
// the recording can keep nothing more, and says how it ended.
#include <cstdint>
#include <optional>
#include <string>

#include "app/run_report.h"

namespace app {

class TMainForm;

// How a conversion ended, for the command line's exit code.
struct TRunOutcome {
    bool whole = false;    // the whole piece is in the WAV file
    int signal = 0;        // the signal that stopped it, 0 if none
    int32_t lengthMs = 0;  // the piece's length
    uint64_t fileMs = 0;   // the music the WAV file holds, its tail included
};

class TConversionRun {
  public:
    explicit TConversionRun(TMainForm& form) : f_(form) {}
    TRunOutcome Execute();

  private:
    void CheckOutput();
    void OpenMidi();
    void TellResampling();
    void StartAndPoll(TRunEnding& ending);
    void AbortRun(bool captureRunning);
    TRunReport Finish(TRunEnding& ending);

    TMainForm& f_;
    std::string midi_, wav_;
    int32_t lengthMs_ = 0;
    uint64_t fileMs_ = 0;
    std::optional<double> gainDb_;  // what normalizing gave the file
};

}  // namespace app
