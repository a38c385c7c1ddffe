// The sequencer device playing in real time into the sound server: a generated 30-s MIDI file
// (format 1, six tracks with drums, three tempos) opened and played through mciSendCommandA, as
// the player does. Prints the process's CPU seconds per second of music (synthesizer, stream and
// polling together), the stream's underflow count, and the device's Length against the tempo map.
//   sequencer_bench [--busy]   --busy keeps one more thread spinning, as a loaded machine would
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/smf_track.h"
#include "platform/mci.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/services.h"

namespace {

using bench::CpuSeconds;
using bench::WallSeconds;

constexpr uint32_t kDivision = 384;
// Tempo map: 100 bpm for 16 beats (9.6 s), 140 bpm for 28 beats (12 s), 90 bpm for 12 beats (8 s).
struct TempoSpan {
    uint32_t beats, microsPerQuarter;
};
constexpr TempoSpan kTempi[] = {{16, 600000}, {28, 428571}, {12, 666667}};

uint32_t TotalBeats() {
    uint32_t b = 0;
    for (auto t : kTempi) b += t.beats;
    return b;
}

// Milliseconds at the end of the piece, from the tempo map, rounded down.
uint32_t ExpectedMs() {
    uint64_t micros = 0;
    for (auto t : kTempi) micros += uint64_t(t.beats) * t.microsPerQuarter;
    return uint32_t(micros / 1000);
}

std::vector<uint8_t> Song() {
    const uint32_t end = TotalBeats() * kDivision;
    std::vector<bench::SmfTrack> tracks(6);
    uint32_t at = 0;
    for (auto t : kTempi) {
        tracks[0].Add(at, {0xFF, 0x51, 0x03, uint8_t(t.microsPerQuarter >> 16),
                           uint8_t(t.microsPerQuarter >> 8), uint8_t(t.microsPerQuarter)});
        at += t.beats * kDivision;
    }
    tracks[1].Add(0, {0xC0, 4});       // electric piano
    tracks[2].Add(0, {0xC1, 38});      // synth bass
    tracks[3].Add(0, {0xC2, 49});      // strings
    tracks[4].Add(0, {0xC3, 73});      // flute
    tracks[4].Add(0, {0xB3, 10, 30});  // panned left
    const uint8_t roots[] = {50, 55, 57, 53};
    const uint8_t tune[] = {0, 2, 4, 7, 9, 7, 4, 2};
    for (uint32_t beat = 0; beat < TotalBeats(); ++beat) {
        const uint32_t t = beat * kDivision;
        const uint8_t root = roots[(beat / 4) % 4];
        for (uint8_t k : {uint8_t(root + 12), uint8_t(root + 15), uint8_t(root + 19)})
            tracks[1].Note(t, kDivision - 20, 0, k, 70);
        tracks[2].Note(t, kDivision / 2, 1, uint8_t(root - 12), 100);
        tracks[2].Note(t + kDivision / 2, kDivision / 2, 1, uint8_t(root - 12), 80);
        if (beat % 4 == 0) tracks[3].Note(t, 4 * kDivision, 2, uint8_t(root + 24), 55);
        tracks[4].Note(t, kDivision / 2, 3, uint8_t(root + 24 + tune[beat % 8]), 85);
        tracks[4].Note(t + kDivision / 2, kDivision / 2, 3,
                       uint8_t(root + 24 + tune[(beat + 3) % 8]), 75);
        tracks[5].Note(t, 40, 9, beat % 2 ? 38 : 36, 110);  // kick, snare
        for (uint32_t s = 0; s < 4; ++s)
            tracks[5].Note(t + s * kDivision / 4, 20, 9, s % 2 ? 42 : 44,
                           uint8_t(60 + 10 * (s == 0)));
        if (beat % 8 == 7) tracks[5].Note(t + kDivision / 2, 40, 9, 49, 100);  // crash
    }
    return bench::SmfFile(kDivision, tracks, end);
}

DWORD Status(MCIDEVICEID id, DWORD item) {
    MCI_STATUS_PARMS p{};
    p.dwItem = item;
    if (mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&p)))
        return 0;
    return DWORD(p.dwReturn);
}

// Another thread spinning while the piece plays, as on a loaded machine; its own CPU time is
// taken out of the figure.
class Spinner {
  public:
    explicit Spinner(bool on) : spin_(on), thread_([this] { Run(); }) {}
    ~Spinner() { Stop(); }
    double Stop() {
        spin_ = false;
        if (thread_.joinable()) thread_.join();
        return cpu_;
    }

  private:
    void Run() {
        volatile uint64_t x = 0;
        while (spin_.load(std::memory_order_relaxed)) x = x + 1;
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        cpu_ = double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
    std::atomic<bool> spin_;
    double cpu_ = 0;
    std::thread thread_;
};

struct Figures {
    bool busy;
    uint32_t length, position;
    int backwards;
    double openCpu, openWall, playWall, playCpu;
    uint32_t underflows;
};

void Print(const Figures& f) {
    const double music = f.length / 1000.0;
    std::printf("sequencer_bench%s\n", f.busy ? " (another thread spinning)" : "");
    std::printf("  length            %u ms, tempo map %u ms%s\n", f.length, ExpectedMs(),
                f.length == ExpectedMs() ? "" : "  MISMATCH");
    std::printf("  final position    %u ms, went back %d times\n", f.position, f.backwards);
    std::printf("  open              %.3f CPU-s, %.3f wall-s (SoundFont, stream)\n", f.openCpu,
                f.openWall);
    std::printf("  play              %.2f wall-s for %.2f s of music (release tail included)\n",
                f.playWall, music);
    std::printf("  CPU-s per music-s %.4f\n", f.playCpu / music);
    std::printf("  underflows        %u\n", f.underflows);
}

}  // namespace

int main(int argc, char** argv) {
    const bool busy = argc > 1 && std::strcmp(argv[1], "--busy") == 0;
    char dir[] = "/tmp/tonvera-seqbench.XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string path = std::string(dir) + "/piece.mid";
    const auto bytes = Song();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    platform::InstallMci(platform::pulse::MakeMci());
    const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "";
    open.lpstrElementName = path.c_str();
    if (MCIERROR e = mciSendCommandA(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT,
                                     reinterpret_cast<DWORD_PTR>(&open))) {
        char text[1024];
        mciGetErrorStringA(e, text, sizeof text);
        std::fprintf(stderr, "sequencer_bench: %s\n", text);
        return 1;
    }
    const MCIDEVICEID id = open.wDeviceID;
    const double cpu1 = CpuSeconds(), wall1 = WallSeconds();

    Spinner spinner(busy);

    MCI_PLAY_PARMS play{};
    mciSendCommandA(id, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
    const double cpu2 = CpuSeconds(), wall2 = WallSeconds();
    uint32_t lastPosition = 0;
    int backwards = 0;
    while (Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY) {
        const uint32_t p = Status(id, MCI_STATUS_POSITION);
        backwards += p < lastPosition;
        lastPosition = p;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double cpu3 = CpuSeconds(), wall3 = WallSeconds();
    const double spinCpu = spinner.Stop();

    const uint32_t length = Status(id, MCI_STATUS_LENGTH);
    const uint32_t position = Status(id, MCI_STATUS_POSITION);
    const uint32_t underflows = Status(id, MCI_STATUS_UNDERFLOWS);
    MCI_GENERIC_PARMS close{};
    mciSendCommandA(id, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
    platform::InstallMci(nullptr);
    std::remove(path.c_str());
    rmdir(dir);

    Print({busy, length, position, backwards, cpu1 - cpu0, wall1 - wall0, wall3 - wall2,
           std::max(0.0, cpu3 - cpu2 - spinCpu), underflows});
    return length == ExpectedMs() && underflows == 0 ? 0 : 1;
}
