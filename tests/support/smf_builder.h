#pragma once
// Builds Standard MIDI files byte by byte for tests: well-formed ones and broken ones.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class SmfBuilder {
public:
    explicit SmfBuilder(uint16_t format = 0, uint16_t division = 480);

    SmfBuilder& Track();  // begins the next MTrk chunk (the first call is implied)
    SmfBuilder& Tempo(uint32_t delta, uint32_t microsPerQuarter);
    SmfBuilder& Program(uint32_t delta, uint8_t channel, uint8_t program);
    SmfBuilder& NoteOn(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity);
    SmfBuilder& NoteOff(uint32_t delta, uint8_t channel, uint8_t key);
    // Any event bytes after the delta time, written as given (running status, sysex, meta).
    SmfBuilder& Raw(uint32_t delta, const std::vector<uint8_t>& bytes);

    // Each track ends with an end-of-track meta event, unless endTracks is false.
    std::vector<uint8_t> Bytes(bool endTracks = true) const;
    bool WriteFile(const std::string& path) const;

    static std::vector<uint8_t> VarLen(uint32_t value);

private:
    uint16_t format_, division_;
    std::vector<std::vector<uint8_t>> tracks_;
};

// A format-0 melody at 120 bpm (division 480) on a piano: each key sounds for noteSeconds,
// one after the other.
std::vector<uint8_t> MelodySmf(const std::vector<uint8_t>& keys, double noteSeconds);
// Music loud enough for the limiter at any volume above a few per cent: eight instruments at
// full channel volume, each playing velocity-127 chords, three of them.
std::vector<uint8_t> LoudChordsSmf();
// Equal-tempered frequency of a MIDI key (69 = 440 Hz).
double KeyFrequency(int key);

}  // namespace testsupport
