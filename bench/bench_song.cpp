#include "bench/bench_song.h"

#include "bench/smf_track.h"

namespace bench {

namespace {

constexpr uint32_t kDivision = 480;

}  // namespace

// 120 bpm for `seconds` beats (half the length), then 150 bpm for 1.25 x `seconds` beats.
std::vector<uint8_t> BenchSong(uint32_t seconds) {
    const uint32_t kSwitch = seconds * kDivision, kEnd = kSwitch + seconds * kDivision * 5 / 4;
    std::vector<SmfTrack> tracks(5);
    tracks[0].Add(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});        // 500 000 us
    tracks[0].Add(kSwitch, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80});  // 400 000 us
    tracks[1].Add(0, {0xC0, 0});                                   // piano chords
    tracks[2].Add(0, {0xC1, 33});                                  // bass
    tracks[3].Add(0, {0xC2, 48});                                  // strings
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
    return SmfFile(kDivision, tracks, kEnd);
}


}  // namespace bench
