#pragma once
// The WAV name the program proposes: "out.wav" at start-up, then one named after each MIDI file
// the user picks, for as long as the field holds the program's own proposal. A name the user
// typed is theirs and is never replaced.
#include <QString>

namespace app {

class TOutputProposal {
  public:
    // The program has put this name into the field.
    void Made(const QString& name) { last_ = name; }
    // Whether the field's name is still the program's own.
    bool Holds(const QString& fieldName) const { return !last_.isEmpty() && fieldName == last_; }
    // "<piece>.wav" in the folder of the last proposal; empty when there was none or the MIDI
    // path names no file.
    QString ForPiece(const QString& midi) const;

  private:
    QString last_;
};

}  // namespace app
