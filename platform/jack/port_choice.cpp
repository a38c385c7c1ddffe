// Which of the server's ports a user's names stand for.
#include <algorithm>

#include "platform/jack/jack_client.h"

namespace platform::jack {
namespace {

std::string ClientOf(const std::string& port) {
    return port.substr(0, port.find(':'));
}

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t from = 0;
    while (from <= list.size()) {
        size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        if (comma > from) names.push_back(list.substr(from, comma - from));
        from = comma + 1;
    }
    return names;
}

}  // namespace

bool ResolvePorts(const JackClient& client, const std::string& port, const std::string& record,
                  std::string* midiPort, std::vector<std::string>* audioPorts, std::string* why) {
    const auto midiInputs = client.Ports(true, true);
    const auto audioOutputs = client.Ports(false, false);
    midiPort->clear();
    if (std::find(midiInputs.begin(), midiInputs.end(), port) != midiInputs.end()) *midiPort = port;
    for (size_t i = 0; midiPort->empty() && i < midiInputs.size(); ++i)
        if (ClientOf(midiInputs[i]) == port) *midiPort = midiInputs[i];
    if (midiPort->empty()) {
        *why = "No JACK MIDI input port or client is named " + port + ".";
        return false;
    }
    audioPorts->clear();
    if (record.empty()) {
        for (const auto& out : audioOutputs)
            if (ClientOf(out) == ClientOf(*midiPort)) audioPorts->push_back(out);
        if (audioPorts->empty()) {
            *why = "The JACK client " + ClientOf(*midiPort) +
                   " has no audio outputs: name the ports to record.";
            return false;
        }
    } else {
        for (const auto& name : SplitNames(record)) {
            if (std::find(audioOutputs.begin(), audioOutputs.end(), name) == audioOutputs.end()) {
                *why = "No JACK audio output port is named " + name + ".";
                return false;
            }
            audioPorts->push_back(name);
        }
        if (audioPorts->empty()) {
            *why = "No audio port to record was named.";
            return false;
        }
    }
    if (audioPorts->size() > kMaxInputs) audioPorts->resize(kMaxInputs);
    return true;
}

SynthPorts ListSynthPorts() {
    struct Idle : JackClient::Handler {
        void Cycle(const CycleIo&, MidiOut&) override {}
        void Xrun() override {}
        void ServerGone(const std::string&) override {}
        void LinkLost() override {}
    } idle;
    SynthPorts found;
    std::string why;
    auto client = JackClient::Open("tonvera-list", 0, &idle, &why);
    if (!client) return found;
    found.midiInputs = client->Ports(true, true);
    found.audioOutputs = client->Ports(false, false);
    return found;
}

}  // namespace platform::jack
