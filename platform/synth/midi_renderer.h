#pragma once
// Renders a parsed MIDI song through FluidSynth with our own scheduler, for the sequencer's
// stream and for offline renders alike, so that both produce the same samples.
//
// FluidSynth starts and ends voices only at the start of its internal 64-frame blocks, so an event
// takes effect at the first block boundary at or after its frame: never early, at most 63 frames
// (1.4 ms) late, and without drift. The song's EventSchedule hands the events over between renders
// exactly at their frame, so the result does not depend on how the caller slices its Render calls.
//
// A peak limiter keeps the recorded samples below full scale. Its look-ahead runs the synthesizer
// PeakLimiter::kLookAhead frames ahead of the output, filled at Start, so the music's frame 0 is
// still the first frame out; music that never reaches the limiter's ceiling comes out unchanged.
//
// At the song's end whatever it leaves held is let go (the sustain and sostenuto pedals, notes
// without their note-off), so the tail dies away as the music ends. A tail that still sounds
// 5 s after the end is cut there, faded out over the last kFadeFrames.
//
// Not thread-safe: one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/event_schedule.h"
#include "platform/midi/smf_reader.h"
#include "platform/synth/peak_limiter.h"

namespace platform::synth {

class LoadedSoundFont;  // loaded_soundfont.h
struct LentSynth;       // lent_synth.h

class MidiRenderer : private platform::midi::EventSink {
  public:
    static constexpr int kRate = 44100;
    static constexpr size_t kChunkFrames = 1024;
    static constexpr double kSynthGain = 0.25;
    // The loudest a recorded sample may be: -0.3 dBFS, under full scale whatever the rounding.
    static constexpr double kCeiling = 0.9660509;
    static constexpr uint64_t kMaxTailFrames = 5 * uint64_t(kRate);
    static constexpr uint64_t kFadeFrames = kRate / 20;  // 50 ms

    // Why a renderer could not be made: callers answer a missing SoundFont differently from a
    // synthesizer that failed.
    enum class Failure { kNone, kNoSong, kNoSoundFont, kSynthesizer };

    // Loads `soundFont`, or where that is empty the machine's default (FindSoundFont); null with
    // an error such as "cannot load the SoundFont X: not an SF2 file" or "no SoundFont found:
    // looked for ..." and (if asked) its kind on failure.
    static std::unique_ptr<MidiRenderer> Create(std::shared_ptr<const platform::midi::SmfSong> song,
                                                const std::string& soundFont, std::string* error,
                                                Failure* failure = nullptr);
    // With a SoundFont already loaded, which it keeps for as long as it lives: no file is read.
    // It and the font's other renderers are used by one thread at a time.
    static std::unique_ptr<MidiRenderer> Create(std::shared_ptr<const platform::midi::SmfSong> song,
                                                std::shared_ptr<LoadedSoundFont> font,
                                                std::string* error, Failure* failure = nullptr);
    ~MidiRenderer() override;
    MidiRenderer(const MidiRenderer&) = delete;
    MidiRenderer& operator=(const MidiRenderer&) = delete;

    // The factor from this output to the recorded sample at full scale 1 (SynthesizerGains'
    // Total); the limiter keeps output x gain at or below kCeiling. 0 (muted) limits nothing.
    // 1 until set; set it before Start.
    void SetRecordingGain(double gain);
    void Start();  // the music advances from here on; switches the reverb on
    void Stop();   // all sound off at once; the position is kept
    // Stops and goes back to the start in silence, every note and controller reset. Once music has
    // been rendered this makes a fresh synthesizer with the same SoundFont, so a replay is
    // bit-identical.
    void Rewind();
    bool Playing() const;

    // Exactly `frames` interleaved stereo float frames; silence while not playing.
    void Render(float* interleaved, size_t frames);

    uint64_t MusicFrame() const;  // frames of music put out since the start of the song
    // The last event has been rendered and the voices and the reverb have died away, or
    // kMaxTailFrames have passed since the last event.
    bool Finished() const;
    uint32_t LengthMs() const;

  private:
    MidiRenderer(std::shared_ptr<const platform::midi::SmfSong> song,
                 std::shared_ptr<LoadedSoundFont> font, std::unique_ptr<LentSynth> synth);
    // An event due at the synthesizer's current frame.
    void Event(uint64_t frame, const platform::midi::MidiEvent& e) override;
    void Advance(float* out, size_t frames);  // the synthesizer's next frames, events in place
    void Pull(float* out, size_t frames);
    void WatchTail();
    void ReleaseHeld();
    void FadeAtTheCap(float* out, uint64_t from, size_t frames) const;

    std::shared_ptr<const platform::midi::SmfSong> song_;
    platform::midi::EventSchedule schedule_;
    std::shared_ptr<LoadedSoundFont> font_;  // outlives synth_, which borrows it
    std::unique_ptr<LentSynth> synth_;
    PeakLimiter limiter_;
    bool playing_ = false;
    bool primed_ = false;               // the look-ahead holds the song's first frames
    bool released_ = false;             // what the song left held at its end was let go
    uint64_t synthFrame_ = 0;           // frames pulled from the synthesizer since the song's start
    uint64_t quietSince_ = UINT64_MAX;  // first block boundary after the end with no voice left
};

// The whole song rendered offline through the same code (Start at frame 0, render in
// kChunkFrames pieces until Finished), float stereo interleaved, limited for a recording at
// `recordingGain`, with the default SoundFont unless one is named; empty with an error on
// failure.
std::vector<float> RenderOffline(std::shared_ptr<const platform::midi::SmfSong> song,
                                 std::string* error, double recordingGain = 1.0,
                                 const std::string& soundFont = {});

}  // namespace platform::synth
