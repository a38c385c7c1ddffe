#include "app/synth_ports.h"

#include "platform/jack/jack_client.h"

namespace app {

std::vector<std::string> SynthMidiInputs() {
    return platform::jack::ListSynthPorts().midiInputs;
}

TAnswer ListSynths() {
    const platform::jack::SynthPorts ports = platform::jack::ListSynthPorts();
    TAnswer answer;
    for (const std::string& port : ports.midiInputs) answer.out += "midi-input " + port + "\n";
    for (const std::string& port : ports.audioOutputs) answer.out += "audio-output " + port + "\n";
    if (answer.out.empty())
        answer.err =
            "tonvera: no JACK server answers (nor PipeWire's JACK): only the built-in "
            "synthesizer can play\n";
    return answer;
}

}  // namespace app
