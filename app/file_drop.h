#pragma once
// What a file dragged onto the window is to it: a MIDI file for the first field, a WAV file for
// the second, or nothing it takes.
#include <QString>

class QMimeData;

namespace app {

struct TDroppedFile {
    enum class Kind { kNone, kMidi, kWav };
    Kind kind = Kind::kNone;
    QString path;
};

// One local file that the fields can hold as it is named: a WAV file by its ending, a MIDI file
// by its ending (.mid, .midi, .rmi) or by its first bytes ("MThd"). Anything else, several
// files or a remote one, is kNone.
TDroppedFile DroppedFile(const QMimeData* data);

}  // namespace app
