// A recorded conversion against the offline render of the same code at the same gain: the
// program converts a generated multi-channel piece on the server in PULSE_SERVER, and the WAV
// is compared sample by sample with the render. With --sub-frame, also once the fraction of a
// frame by which a resampler delays the sound is taken out.
//   residual_bench PROGRAM SECONDS VOLUME FOLDER [--sub-frame]
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_song.h"
#include "bench/render_compare.h"

int main(int argc, char** argv) {
    const bool subFrame = argc == 6 && std::string(argv[5]) == "--sub-frame";
    if (argc != 5 && !subFrame) {
        std::fprintf(stderr, "usage: residual_bench PROGRAM SECONDS VOLUME FOLDER [--sub-frame]\n");
        return 2;
    }
    const std::string program = argv[1], folder = argv[4];
    const int seconds = std::atoi(argv[2]), volume = std::atoi(argv[3]);
    const std::string midi = folder + "/piece.mid", wav = folder + "/piece.wav";
    const auto song = bench::BenchSong(uint32_t(seconds));
    std::ofstream(midi, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.data()), std::streamsize(song.size()));
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY '" + program + "' '" + midi +
                                "' '" + wav + "' " + std::to_string(volume) + " 2>" + folder +
                                "/stderr";
    const int status = std::system(command.c_str());
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const bench::Residual r =
        bench::CompareWithRender(midi, wav, bench::ConversionGains(volume), 4410, subFrame);
    if (!r.error.empty()) {
        std::fprintf(stderr, "residual_bench: %s (the program exited %d)\n", r.error.c_str(),
                     exitCode);
        return 1;
    }
    std::printf("piece             %d s, 4 channels + drums, volume %d; the program exited %d\n",
                seconds, volume, exitCode);
    std::printf("start             WAV frame %lld holds render frame 0 (first sound %lld / %lld)\n",
                (long long)r.offsetFrames, (long long)r.firstSoundWav,
                (long long)r.firstSoundRender);
    std::printf(
        "residual          %.1f dB of the render's power, largest difference %lld LSB "
        "(the render's peak %lld LSB)\n",
        -r.snrDb, (long long)r.maxDifference, (long long)r.peak);
    if (subFrame)
        std::printf(
            "sub-frame         shifted by %+.4f frames: %.1f dB, largest difference %lld "
            "LSB\n",
            r.subFrameShift, -r.subFrameSnrDb, (long long)r.subFrameMaxDifference);
    std::printf("length            WAV %llu frames, render %llu frames; %llu clipped samples\n",
                (unsigned long long)r.wavFrames, (unsigned long long)r.renderFrames,
                (unsigned long long)r.clipped);
    return exitCode == 0 ? 0 : 1;
}
