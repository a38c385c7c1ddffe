#pragma once
// The waveaudio device's sound: a WAV file, or a FLAC, Ogg (Vorbis, Opus) or MP3 file as the
// program writes them, read with libsndfile as it plays.
//
// Any such file that libsndfile decodes (a WAV's integer PCM of any width, float, and its
// compressed kinds) is played. Mono is played on both sides, more than two channels by their first
// two, and a rate other than 44 100 Hz is converted by linear interpolation.
#include <memory>
#include <string>
#include <vector>

#include "platform/pulse/sound_source.h"

namespace platform::pulse {

class WaveSource : public SoundSource {
  public:
    // Null with the reason in *error when the file is no WAV file libsndfile can read.
    static std::unique_ptr<WaveSource> Open(const std::string& path, std::string* error);
    ~WaveSource() override;

    void Start() override { playing_ = true; }
    void Stop() override { playing_ = false; }
    void SeekFrame(uint64_t frame) override;
    void Render(float* interleaved, size_t frames) override;
    uint64_t Frame() const override { return frame_; }
    bool Finished() const override { return frame_ >= endFrame_; }
    uint64_t LengthFrames() const override { return lengthFrames_; }
    uint32_t LengthMs() const override;

  private:
    struct File;  // the libsndfile handle, kept out of this header
    explicit WaveSource(std::unique_ptr<File> file);
    // The file's frame `index` as a stereo pair; false past the end.
    bool SourceFrame(uint64_t index, float* left, float* right);
    // The window from the frame before `index` on; false when the file ends before `index`.
    bool Refill(uint64_t index);

    std::unique_ptr<File> file_;
    int channels_, rate_;
    uint64_t fileFrames_;
    uint64_t lengthFrames_;
    uint64_t endFrame_;  // lengthFrames_, or less where the file's data ends before its header says
    uint64_t frame_ = 0;
    bool playing_ = false;
    // A window of the file's frames, all channels: [windowStart_, windowStart_ + windowFrames_).
    std::vector<float> window_;
    uint64_t windowStart_ = 0;
    uint64_t windowFrames_ = 0;
};

}  // namespace platform::pulse
