#pragma once
// How a conversion ended, in words: a list of findings, each a text for the user and whether
// the WAV file still holds the whole piece despite it. The window shows them in one box after
// the run; the command line writes them and takes its exit code from them. A new kind of
// finding is one more Add.
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/capture.h"

namespace app {

struct TFinding {
    QString text;
    bool whole = false;  // a warning only: the file still holds the whole piece
};

class TRunReport {
  public:
    void Add(const QString& text, bool whole = false) { findings_.push_back({text, whole}); }
    bool Empty() const { return findings_.empty(); }
    // No finding leaves the file short of the whole piece.
    bool Whole() const;
    QString Text() const;  // the findings, one a line
    const std::vector<TFinding>& Findings() const { return findings_; }

  private:
    std::vector<TFinding> findings_;
};

// What the run saw around the capture.
struct TRunEnding {
    std::string target;          // the WAV path as read at the start
    std::string playError;       // why the player did not play, if it did not
    int32_t underflows = 0;      // how often the synthesizer's stream ran dry
    bool serverLost = false;     // the player's sound server went away during the run
    int32_t lastPositionMs = 0;  // the last position of the music the run saw
    int signal = 0;              // the signal that stopped the run, 0 if none
    bool cancelled = false;      // the user clicked Cancel
    uint64_t readInPart = 0;     // MCI_READ_...: why the MIDI file was read only in part
};

TRunReport ReportConversion(const engine::CaptureResult& capture, const TRunEnding& ending);

// Whether a finished recording takes its output's place: a whole result does; so does a run
// the user stopped (Cancel, a signal), whose output then holds what was recorded, except in a
// many-files run, where a file that is not whole never stands at its final name. Everything
// else leaves an existing output as it was and the recording in its own file.
bool ReplacesTarget(const engine::CaptureResult& finished, const TRunEnding& ending,
                    bool manyFiles);

// The recording's length, rounded to the second as every length.
std::string RecordedTime(uint64_t bytes);

// The closing note of a normalized file: "normalized: +4.2 dB".
QString NormalizedText(double gainDb);

}  // namespace app
