// The offline renderer: the sequencer's own code (SMF reader, scheduler, synthesizer settings,
// render chunks, end-of-music rule) rendered without a stream, each sample as the recording of
// the synthesizer line holds it at the same mixer settings.
#include "platform/offline_render.h"

#include <vector>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/synth/loaded_soundfont.h"
#include "platform/synth/midi_renderer.h"

namespace platform::pulse {

namespace {

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

class PulseOfflineRenderer : public OfflineRenderer {
  public:
    explicit PulseOfflineRenderer(std::shared_ptr<synth::LoadedSoundFont> font)
        : font_(std::move(font)) {}

    bool Render(const std::string& midiPath, const OfflineLevels& levels,
                const std::function<bool(const OfflineSong&)>& ready, const FrameSink& sink,
                OfflineSong* song, std::string* error) override {
        OfflineSong info;
        std::string why;
        auto parsed = midi::ReadSmfFile(midiPath, &why);
        if (!parsed) return Fail(error, midiPath + " is not a valid MIDI file: " + why);
        info.lengthMs = parsed->lengthMs;
        info.cut = parsed->cut;
        auto renderer = synth::MidiRenderer::Create(
            std::make_shared<const midi::SmfSong>(std::move(*parsed)), font_, &why);
        if (!renderer) return Fail(error, why);
        if (song) *song = info;
        if (ready && !ready(info)) return Fail(error, "the render was stopped");
        const bool whole = Play(*renderer, levels, sink, info);
        if (song) *song = info;
        return whole ? true : Fail(error, "the render was stopped");
    }

  private:
    // False when the sink stopped it.
    static bool Play(synth::MidiRenderer& renderer, const OfflineLevels& levels,
                     const FrameSink& sink, OfflineSong& info) {
        const SynthesizerGains gains =
            SynthesizerRecordingGains({levels.speakers, false}, {levels.line, false});
        std::vector<float> chunk(2 * synth::MidiRenderer::kChunkFrames);
        std::vector<int16_t> frames(chunk.size());
        renderer.SetRecordingGain(gains.Total());
        renderer.Start();
        while (!renderer.Finished()) {
            renderer.Render(chunk.data(), synth::MidiRenderer::kChunkFrames);
            for (size_t i = 0; i < chunk.size(); ++i) frames[i] = RecordedSample(chunk[i], gains);
            info.frames += synth::MidiRenderer::kChunkFrames;
            if (!sink(frames.data(), synth::MidiRenderer::kChunkFrames)) return false;
        }
        return true;
    }

    std::shared_ptr<synth::LoadedSoundFont> font_;
};

class PulseOfflineRender : public OfflineRenderService {
  public:
    std::unique_ptr<OfflineRenderer> Open(const std::string& soundFont,
                                          std::string* error) override {
        auto font = synth::LoadedSoundFont::Load(soundFont, error);
        if (!font) return nullptr;
        return std::make_unique<PulseOfflineRenderer>(std::move(font));
    }
};

}  // namespace

std::unique_ptr<OfflineRenderService> MakeOfflineRender() {
    return std::make_unique<PulseOfflineRender>();
}

}  // namespace platform::pulse
