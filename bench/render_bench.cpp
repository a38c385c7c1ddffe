// Offline render speed of the sequencer's synthesizer path: a generated 30-s, multi-channel MIDI
// with drums and a tempo change, rendered through MidiRenderer exactly as the device renders it.
// Prints CPU seconds per second of music and checks the length against the tempo map.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "platform/midi/smf_reader.h"
#include "platform/pulse/midi_renderer.h"

namespace {

using bench::CpuSeconds;
using bench::WallSeconds;

// 120 bpm for 30 beats (15 s), then 150 bpm for 37.5 beats (15 s): exactly 30 000 ms.
constexpr uint32_t kDivision = 480, kSwitch = 30 * kDivision, kEnd = kSwitch + 75 * kDivision / 2;

struct Track {
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
        notes.push_back({std::min(tick + length, kEnd), uint8_t(0x80 | ch), key, 0});
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

std::vector<uint8_t> Song() {
    std::vector<Track> tracks(5);
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

}  // namespace

int main() {
    const auto bytes = Song();
    std::string error;
    auto parsed = platform::midi::ReadSmf(bytes.data(), bytes.size(), &error);
    if (!parsed) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 1;
    }
    auto song = std::make_shared<const platform::midi::SmfSong>(std::move(*parsed));

    const double cpu0 = CpuSeconds();
    auto renderer = platform::pulse::MidiRenderer::Create(song, &error);
    if (!renderer) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 1;
    }
    const double cpu1 = CpuSeconds(), wall1 = WallSeconds();
    std::vector<float> chunk(2 * platform::pulse::MidiRenderer::kChunkFrames);
    renderer->Start();
    while (!renderer->Finished())
        renderer->Render(chunk.data(), platform::pulse::MidiRenderer::kChunkFrames);
    const double cpu2 = CpuSeconds(), wall2 = WallSeconds();

    const double music = double(song->lengthMs) / 1000;
    const double rendered = double(renderer->MusicFrame()) / platform::pulse::MidiRenderer::kRate;
    std::printf("events            %zu on 4 channels + drums, tempo change at 15 s\n",
                song->events.size());
    std::printf("length            %u ms (tempo map says 30000 ms)%s\n", song->lengthMs,
                song->lengthMs == 30000 ? "" : "  MISMATCH");
    std::printf("rendered          %.3f s incl. release tail\n", rendered);
    std::printf("SoundFont load    %.3f CPU-s\n", cpu1 - cpu0);
    std::printf("render            %.3f CPU-s, %.3f wall-s\n", cpu2 - cpu1, wall2 - wall1);
    std::printf("CPU-s per music-s %.4f (%.0fx real time)\n", (cpu2 - cpu1) / music,
                music / (cpu2 - cpu1));
    return song->lengthMs == 30000 ? 0 : 1;
}
