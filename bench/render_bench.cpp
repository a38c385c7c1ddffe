// Offline render speed of the sequencer's synthesizer path: a generated 30-s, multi-channel MIDI
// with drums and a tempo change, rendered through MidiRenderer exactly as the device renders it.
// Prints CPU seconds per second of music and checks the length against the tempo map.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/bench_song.h"
#include "platform/midi/smf_reader.h"
#include "platform/synth/midi_renderer.h"

namespace {

using bench::CpuSeconds;
using bench::WallSeconds;

}  // namespace

int main() {
    const auto bytes = bench::BenchSong(30);
    std::string error;
    auto parsed = platform::midi::ReadSmf(bytes.data(), bytes.size(), &error);
    if (!parsed) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 1;
    }
    auto song = std::make_shared<const platform::midi::SmfSong>(std::move(*parsed));

    const double cpu0 = CpuSeconds();
    auto renderer = platform::synth::MidiRenderer::Create(song, "", &error);
    if (!renderer) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 1;
    }
    const double cpu1 = CpuSeconds(), wall1 = WallSeconds();
    std::vector<float> chunk(2 * platform::synth::MidiRenderer::kChunkFrames);
    renderer->Start();
    while (!renderer->Finished())
        renderer->Render(chunk.data(), platform::synth::MidiRenderer::kChunkFrames);
    const double cpu2 = CpuSeconds(), wall2 = WallSeconds();

    const double music = double(song->lengthMs) / 1000;
    const double rendered = double(renderer->MusicFrame()) / platform::synth::MidiRenderer::kRate;
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
