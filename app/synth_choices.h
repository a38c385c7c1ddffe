#pragma once
// What the window's synthesizer row offers: the built-in synthesizer with each SoundFont on the
// machine. A choice names its kind, so that another kind of synthesizer (an external one's MIDI
// port) is one more item of the same list.
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
struct SoundFontFile;
}

namespace app {

struct TSynthChoice {
    enum class Kind { kBuiltIn, kJackPort };
    Kind kind = Kind::kBuiltIn;
    std::string soundFont;  // kBuiltIn: the SoundFont it plays with
    QString text;           // as the list shows it
    std::string port;         // kJackPort: the JACK MIDI input (or client) the music goes to
    std::string recordPorts;  // kJackPort: the audio ports recorded; empty for the port's client's
};

// "TimGM6mb.sf2 (5.7 MB)"; a file that cannot be read says so instead of a size, and is still
// offered: the conversion then tells why it cannot be loaded.
TSynthChoice BuiltInChoice(const std::string& soundFont);
TSynthChoice BuiltInChoice(const platform::SoundFontFile& file);
// The built-in synthesizer with each SoundFont found, in the search's order.
std::vector<TSynthChoice> BuiltInChoices(const std::vector<platform::SoundFontFile>& found);

// An external synthesizer reached through JACK: "JACK: synth:midi_00".
TSynthChoice JackChoice(const std::string& port, const std::string& recordPorts = {});
// One choice for each JACK MIDI input; none when no JACK server answers.
std::vector<TSynthChoice> JackChoices(const std::vector<std::string>& midiInputs);

// "5.7 MB" in binary megabytes as file managers count them; under one, "12 KB".
QString SizeText(uint64_t bytes);

}  // namespace app
