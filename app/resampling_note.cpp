#include "app/resampling_note.h"

#include "platform/mci.h"

namespace app {

namespace {

constexpr uint64_t kFileRate = 44100;

QString HowToAllow(uint64_t soundServer) {
    const QString pipewire = QStringLiteral(
        "PipeWire: default.clock.allowed-rates = [ 44100 48000 ] in a file of "
        "~/.config/pipewire/pipewire.conf.d/, then restart PipeWire");
    const QString pulse = QStringLiteral(
        "PulseAudio: default-sample-rate = 44100 or alternate-sample-rate = 44100 in "
        "~/.config/pulse/daemon.conf, then restart PulseAudio");
    if (soundServer == MCI_SERVER_PIPEWIRE) return pipewire;
    if (soundServer == MCI_SERVER_PULSEAUDIO) return pulse;
    return pipewire + QStringLiteral("; ") + pulse;
}

}  // namespace

QString ResamplingNote(uint64_t deviceRate, uint64_t soundServer) {
    if (deviceRate == 0 || deviceRate == kFileRate) return {};
    return QStringLiteral(
               "The sound server plays at %1 Hz and resamples the 44100 Hz music, so the file "
               "differs slightly from the music as rendered; allowing 44100 Hz spares it that "
               "(%2).")
        .arg(deviceRate)
        .arg(HowToAllow(soundServer));
}

}  // namespace app
