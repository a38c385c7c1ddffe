#pragma once
// External synthesizers reachable through JACK, for the window's list and --list-synths. Asking
// never starts a JACK server: without one the answers are empty.
#include <string>
#include <vector>

#include "app/command_line.h"

namespace app {

// The JACK MIDI input ports, in the server's order.
std::vector<std::string> SynthMidiInputs();
// --list-synths: "midi-input PORT" lines, then "audio-output PORT" lines; without a server,
// nothing on standard output and a note on standard error.
TAnswer ListSynths();

}  // namespace app
