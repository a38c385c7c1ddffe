#pragma once
// What the sequencer's playback stream tells a recording of it: where the stream is (its sink
// input and the monitor that carries it), how loud each 64-frame block of its music is, the
// first frame that a recording at a given gain shows as non-zero, and how much music the
// server has played. The recorder uses it to put sample 0 of the file at the music's time 0
// and to find holes in what it recorded.
//
// Shared by the stream (producer, on its mainloop thread) and a recorder (consumer, on its own
// mainloop thread); every member is guarded by the tap's lock. A recorder finds the tap of the
// sequencer it records through the backend's RecorderTable.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::pulse {

class SequencerTap {
  public:
    static constexpr uint64_t kBlockFrames = 64;  // the synthesizer's own block

    SequencerTap(uint32_t sinkInput, std::string monitorSource);

    uint32_t sinkInput() const { return sinkInput_; }
    const std::string& monitorSource() const { return monitorSource_; }

    // Producer side.
    void MusicStarted();
    // Everything has sounded: the music is exactly the frames handed over so far.
    void MusicEnded();
    // Interleaved stereo floats of the music, in order from its time 0.
    void Music(const float* interleaved, size_t frames);
    void PlayedFrames(uint64_t frames);

    // Consumer side. The threshold is the smallest |sample| that the recording shows as
    // non-zero; set it before the music starts.
    void SetAudibleThreshold(float threshold);
    struct Status {
        bool started = false;
        bool ended = false;
        uint64_t rendered = 0;           // music frames handed to the server
        uint64_t played = 0;             // of which the server has played
        int64_t firstAudible = -1;       // first frame at or over the threshold, -1 none yet
    };
    Status Read() const;
    // Block energies (sum of squares of both channels) from block `first` on; blocks that
    // are older than the kept window come back as none.
    std::vector<float> Energies(uint64_t first, size_t count) const;
    // Nothing before this block is needed any more.
    void Forget(uint64_t before);

  private:
    const uint32_t sinkInput_;
    const std::string monitorSource_;
    mutable std::mutex mutex_;
    bool started_ = false, ended_ = false;
    uint64_t rendered_ = 0, played_ = 0;
    float threshold_ = 0;
    int64_t firstAudible_ = -1;
    std::deque<float> energies_;  // from block firstKept_ on
    uint64_t firstKept_ = 0;
    double pending_ = 0;  // energy of the block being filled
};

}  // namespace platform::pulse
