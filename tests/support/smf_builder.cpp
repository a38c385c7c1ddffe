#include "support/smf_builder.h"

#include <cmath>
#include <fstream>

namespace testsupport {

SmfBuilder::SmfBuilder(uint16_t format, uint16_t division) : format_(format), division_(division) {
    tracks_.emplace_back();
}

SmfBuilder& SmfBuilder::Track() {
    if (!tracks_.back().empty() || tracks_.size() > 1) tracks_.emplace_back();
    return *this;
}

std::vector<uint8_t> SmfBuilder::VarLen(uint32_t value) {
    std::vector<uint8_t> out{uint8_t(value & 0x7f)};
    while (value >>= 7) out.insert(out.begin(), uint8_t(0x80 | (value & 0x7f)));
    return out;
}

SmfBuilder& SmfBuilder::Raw(uint32_t delta, const std::vector<uint8_t>& bytes) {
    auto& t = tracks_.back();
    const auto d = VarLen(delta);
    t.insert(t.end(), d.begin(), d.end());
    t.insert(t.end(), bytes.begin(), bytes.end());
    return *this;
}

SmfBuilder& SmfBuilder::Tempo(uint32_t delta, uint32_t us) {
    return Raw(delta, {0xff, 0x51, 0x03, uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)});
}
SmfBuilder& SmfBuilder::Program(uint32_t delta, uint8_t ch, uint8_t program) {
    return Raw(delta, {uint8_t(0xc0 | ch), program});
}
SmfBuilder& SmfBuilder::NoteOn(uint32_t delta, uint8_t ch, uint8_t key, uint8_t velocity) {
    return Raw(delta, {uint8_t(0x90 | ch), key, velocity});
}
SmfBuilder& SmfBuilder::NoteOff(uint32_t delta, uint8_t ch, uint8_t key) {
    return Raw(delta, {uint8_t(0x80 | ch), key, 0x40});
}

static void Put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) o.push_back(uint8_t(v >> s));
}
static void Put16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}

std::vector<uint8_t> SmfBuilder::Bytes(bool endTracks) const {
    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    Put32(out, 6);
    Put16(out, format_);
    Put16(out, uint16_t(tracks_.size()));
    Put16(out, division_);
    for (auto t : tracks_) {
        if (endTracks) t.insert(t.end(), {0x00, 0xff, 0x2f, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        Put32(out, uint32_t(t.size()));
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

bool SmfBuilder::WriteFile(const std::string& path) const {
    const auto b = Bytes();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

std::vector<uint8_t> MelodySmf(const std::vector<uint8_t>& keys, double noteSeconds) {
    // 120 bpm, 480 ticks a quarter: 960 ticks a second.
    const auto ticks = uint32_t(std::lround(noteSeconds * 960));
    SmfBuilder b(0, 480);
    b.Tempo(0, 500000).Program(0, 0, 0);
    for (auto k : keys) b.NoteOn(0, 0, k, 100).NoteOff(ticks, 0, k);
    return b.Bytes();
}

std::vector<uint8_t> LoudChordsSmf() {
    SmfBuilder b;
    const uint8_t programs[8] = {0, 48, 19, 56, 61, 16, 29, 80};
    for (uint8_t ch = 0; ch < 8; ++ch)
        b.Program(0, ch, programs[ch]).Raw(0, {uint8_t(0xB0 | ch), 7, 127});
    for (uint8_t root : {48, 53, 55}) {
        for (uint8_t ch = 0; ch < 8; ++ch)
            for (int step : {0, 4, 7, 12}) b.NoteOn(0, ch, uint8_t(root + step + ch % 3 * 12), 127);
        for (uint8_t ch = 0; ch < 8; ++ch)
            for (int step : {0, 4, 7, 12})
                b.NoteOff(ch + step == 0 ? 960 : 0, ch, uint8_t(root + step + ch % 3 * 12));
    }
    return b.Bytes();
}

double KeyFrequency(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

}  // namespace testsupport
