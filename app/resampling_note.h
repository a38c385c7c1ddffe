#pragma once
// What the command line says before a recording when the sound server plays the sequencer at
// another rate than the file's 44 100 Hz: the server then resamples the music on its way into
// the file, which is no longer the --fast render sample for sample.
#include <QString>
#include <cstdint>

namespace app {

// One line with the server's rate and how to let it run at 44 100 Hz (the MCI_SERVER_... kind
// says which server's setting); empty for 44 100 Hz or a rate the device cannot tell (0).
QString ResamplingNote(uint64_t deviceRate, uint64_t soundServer);

}  // namespace app
