#pragma once
// The sequencer's sound: a MIDI song rendered by MidiRenderer, as a SoundSource.
//
// Its limiter needs the gain at which the synthesizer line is recorded. The source reads it from
// the program's own levels (ProgramLevels) when the music starts or seeks: the mixer's routing
// is done before playback, and every stream already takes its levels from there, so no caller
// has to carry them.
#include <memory>
#include <string>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/sound_source.h"
#include "platform/synth/midi_renderer.h"

namespace platform::pulse {

class SequencerSource : public SoundSource {
  public:
    // Plays with `soundFont` ("" for the machine's default). Null with the renderer's reason
    // (no SoundFont, one that cannot be loaded, the synthesizer failed) in *error and its kind
    // in *failure.
    static std::unique_ptr<SequencerSource> Create(
        std::shared_ptr<const platform::midi::SmfSong> song, const std::string& soundFont,
        std::string* error, synth::MidiRenderer::Failure* failure = nullptr);

    void Start() override;
    void Stop() override { renderer_->Stop(); }
    void SeekFrame(uint64_t frame) override;
    void Render(float* interleaved, size_t frames) override {
        renderer_->Render(interleaved, frames);
    }
    uint64_t Frame() const override { return renderer_->MusicFrame(); }
    bool Finished() const override { return renderer_->Finished(); }
    uint64_t LengthFrames() const override { return song_->lengthFrames; }
    uint32_t LengthMs() const override { return song_->lengthMs; }

  private:
    SequencerSource(std::shared_ptr<const platform::midi::SmfSong> song,
                    std::unique_ptr<synth::MidiRenderer> renderer)
        : song_(std::move(song)), renderer_(std::move(renderer)) {}

    std::shared_ptr<const platform::midi::SmfSong> song_;
    std::unique_ptr<synth::MidiRenderer> renderer_;
};

}  // namespace platform::pulse
