#include "platform/pulse/sequencer_source.h"

#include <algorithm>
#include <vector>

#include "platform/pulse/program_levels.h"

namespace platform::pulse {

namespace {

double SynthesizerLineGain() {
    const ProgramLevels& levels = ProgramLevels::Instance();
    return SynthesizerRecordingGains(levels.Speakers(), levels.Line(kSynthesizerLine)).Total();
}

}  // namespace

std::unique_ptr<SequencerSource> SequencerSource::Create(
    std::shared_ptr<const platform::midi::SmfSong> song, const std::string& soundFont,
    std::string* error, synth::MidiRenderer::Failure* failure) {
    auto renderer = synth::MidiRenderer::Create(song, soundFont, error, failure);
    if (!renderer) return nullptr;
    return std::unique_ptr<SequencerSource>(
        new SequencerSource(std::move(song), std::move(renderer)));
}

void SequencerSource::Start() {
    renderer_->SetRecordingGain(SynthesizerLineGain());
    renderer_->Start();
}

void SequencerSource::SeekFrame(uint64_t frame) {
    // A synthesizer cannot jump: replay the song from its start up to the frame, unheard, so
    // that programs, controllers and the reverb stand as they would have.
    if (frame < renderer_->MusicFrame()) renderer_->Rewind();
    if (frame == renderer_->MusicFrame()) return;
    std::vector<float> scratch(synth::MidiRenderer::kChunkFrames * kChannels);
    renderer_->SetRecordingGain(SynthesizerLineGain());
    renderer_->Start();
    while (renderer_->MusicFrame() < frame && !renderer_->Finished()) {
        const uint64_t left = frame - renderer_->MusicFrame();
        renderer_->Render(scratch.data(),
                          size_t(std::min<uint64_t>(left, synth::MidiRenderer::kChunkFrames)));
    }
    renderer_->Stop();
}

}  // namespace platform::pulse
