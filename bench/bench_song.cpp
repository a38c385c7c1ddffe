#include "bench/bench_song.h"

#include <algorithm>

namespace bench {

namespace {

constexpr uint32_t kDivision = 480;

struct Track {
    uint32_t end = 0;  // the last tick: no note sounds past it
    std::vector<uint8_t> bytes;
    uint32_t last = 0;  // absolute tick of the last event written
    void At(uint32_t tick, std::vector<uint8_t> event) {
        uint32_t delta = tick - last;
        last = tick;
        std::vector<uint8_t> v{uint8_t(delta & 0x7F)};
        while (delta >>= 7) v.insert(v.begin(), uint8_t(0x80 | (delta & 0x7F)));
        bytes.insert(bytes.end(), v.begin(), v.end());
        bytes.insert(bytes.end(), event.begin(), event.end());
    }
    void Note(uint32_t tick, uint32_t length, uint8_t ch, uint8_t key, uint8_t vel) {
        notes.push_back({tick, uint8_t(0x90 | ch), key, vel});
        notes.push_back({std::min(tick + length, end), uint8_t(0x80 | ch), key, 0});
    }
    struct Pending {
        uint32_t tick;
        uint8_t status, key, vel;
    };
    std::vector<Pending> notes;
    std::vector<uint8_t> Chunk(uint32_t end) {
        std::stable_sort(notes.begin(), notes.end(),
                         [](const Pending& a, const Pending& b) { return a.tick < b.tick; });
        for (const auto& n : notes) At(n.tick, {n.status, n.key, n.vel});
        At(end, {0xFF, 0x2F, 0x00});
        std::vector<uint8_t> out{'M', 'T', 'r', 'k'};
        const auto size = uint32_t(bytes.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(size >> s));
        out.insert(out.end(), bytes.begin(), bytes.end());
        return out;
    }
};

}  // namespace

// 120 bpm for `seconds` beats (half the length), then 150 bpm for 1.25 x `seconds` beats.
std::vector<uint8_t> BenchSong(uint32_t seconds) {
    const uint32_t kSwitch = seconds * kDivision, kEnd = kSwitch + seconds * kDivision * 5 / 4;
    std::vector<Track> tracks(5);
    for (auto& t : tracks) t.end = kEnd;
    tracks[0].At(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});        // 500 000 us
    tracks[0].At(kSwitch, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80});  // 400 000 us
    tracks[1].At(0, {0xC0, 0});                                   // piano chords
    tracks[2].At(0, {0xC1, 33});                                  // bass
    tracks[3].At(0, {0xC2, 48});                                  // strings
    const uint8_t roots[] = {48, 53, 55, 45};
    for (uint32_t beat = 0; beat * kDivision < kEnd; ++beat) {
        const uint32_t t = beat * kDivision;
        const uint8_t root = roots[(beat / 4) % 4];
        if (beat % 2 == 0)
            for (uint8_t k : {uint8_t(root + 12), uint8_t(root + 16), uint8_t(root + 19)})
                tracks[1].Note(t, kDivision * 2 - 10, 0, k, 80);
        tracks[2].Note(t, kDivision / 2, 1, uint8_t(root - 12), 100);
        tracks[2].Note(t + kDivision / 2, kDivision / 2 - 10, 1, uint8_t(root - 5), 90);
        if (beat % 4 == 0) tracks[3].Note(t, kDivision * 4 - 20, 2, uint8_t(root + 24), 60);
        tracks[4].Note(t, 60, 9, beat % 2 ? 38 : 36, 110);  // kick, snare
        tracks[4].Note(t, 30, 9, 42, 70);                   // hi-hat in eighths
        tracks[4].Note(t + kDivision / 2, 30, 9, 42, 60);
    }
    std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 5, 0, kDivision & 0xFF};
    file[12] = uint8_t(kDivision >> 8);
    for (auto& t : tracks) {
        const auto chunk = t.Chunk(kEnd);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}


}  // namespace bench
