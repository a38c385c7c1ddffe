// The offline renderer: the sequencer's own code (SMF reader, scheduler, synthesizer settings,
// render chunks, end-of-music rule) rendered without a stream, each sample as the recording of
// the synthesizer line holds it at the same mixer settings.
#include "platform/offline_render.h"

#include <mutex>
#include <vector>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/midi_renderer.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"

namespace platform::pulse {

namespace {

class PulseOfflineRender : public OfflineRenderService {
  public:
    bool Prepare(const std::string& soundFont, std::string* error) override {
        auto renderer = Create(std::make_shared<const midi::SmfSong>(), soundFont, error);
        if (!renderer) return false;
        Keep(std::move(renderer));
        return true;
    }

    bool Render(const std::string& midiPath, const std::string& soundFont,
                const OfflineLevels& levels, const std::function<bool(const OfflineSong&)>& ready,
                const FrameSink& sink, OfflineSong* song, std::string* error) override {
        OfflineSong info;
        std::string why;
        auto parsed = midi::ReadSmfFile(midiPath, &why);
        if (!parsed) return Fail(error, midiPath + " is not a valid MIDI file: " + why);
        info.lengthMs = parsed->lengthMs;
        info.cut = parsed->cut;
        auto renderer =
            Create(std::make_shared<const midi::SmfSong>(std::move(*parsed)), soundFont, &why);
        if (!renderer) return Fail(error, why);
        if (song) *song = info;
        if (ready && !ready(info)) return Fail(error, "the render was stopped");

        const SynthesizerGains gains =
            SynthesizerRecordingGains({levels.speakers, false}, {levels.line, false});
        std::vector<float> chunk(2 * MidiRenderer::kChunkFrames);
        std::vector<int16_t> frames(chunk.size());
        bool stopped = false;
        renderer->SetRecordingGain(gains.Total());
        renderer->Start();
        while (!renderer->Finished()) {
            renderer->Render(chunk.data(), MidiRenderer::kChunkFrames);
            for (size_t i = 0; i < chunk.size(); ++i) frames[i] = RecordedSample(chunk[i], gains);
            info.frames += MidiRenderer::kChunkFrames;
            if (!sink(frames.data(), MidiRenderer::kChunkFrames)) {
                stopped = true;
                break;
            }
        }
        Keep(std::move(renderer));
        if (song) *song = info;
        return stopped ? Fail(error, "the render was stopped") : true;
    }

  private:
    static bool Fail(std::string* error, const std::string& why) {
        if (error) *error = why;
        return false;
    }

    std::shared_ptr<MidiRenderer> Create(std::shared_ptr<const midi::SmfSong> song,
                                         const std::string& soundFont, std::string* error) {
        std::lock_guard lock(mutex_);
        return MidiRenderer::Create(std::move(song), soundFont, error);
    }

    // While one synthesizer holds the SoundFont, the next ones share its samples: the file
    // is read once per process, however many songs follow (FluidSynth's sample cache knows a
    // SoundFont by its path).
    void Keep(std::shared_ptr<MidiRenderer> renderer) {
        std::lock_guard lock(mutex_);
        keeper_ = std::move(renderer);
    }

    std::mutex mutex_;
    std::shared_ptr<MidiRenderer> keeper_;
};

}  // namespace

std::unique_ptr<OfflineRenderService> MakeOfflineRender() {
    return std::make_unique<PulseOfflineRender>();
}

}  // namespace platform::pulse
