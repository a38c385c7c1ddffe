#pragma once
// The mixer's settings as this program's own: what it plays at (the speakers: its playback
// streams' volume and mute), what it records (the selected line: its synthesizer or one server
// source) and at what level. Nothing here is a setting of the user's server: the sink's and
// sources' own volumes, mutes and the defaults stay as the user left them.
//
// The recording destination and its selected line are two views of one setting, the record
// stream's volume and mute, as on a card whose recording master is the selected input's fader.
// Lines keep their own setting while not selected; selecting one brings its setting along.
//
// Process-wide and thread-safe. Streams that are open hear every change (Watch); the mixer
// writes from the UI thread, the streams apply changes on their own connections.
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace platform::pulse {

// A volume control's value (0 to kLevelMaximum, value / kLevelMaximum the linear factor) and
// its mute.
struct Level {
    long volume = 65535;
    bool mute = false;
    friend bool operator==(const Level&, const Level&) = default;
};
constexpr long kLevelMaximum = 65535;

// The synthesizer line's key; server sources are keyed by their names.
extern const char* const kSynthesizerLine;

class ProgramLevels {
  public:
    using Watcher = std::function<void()>;

    static ProgramLevels& Instance();

    Level Speakers() const;
    void SetSpeakers(const Level& level);
    Level Line(const std::string& key) const;
    void SetLine(const std::string& key, const Level& level);
    std::string Selected() const;
    void Select(const std::string& key);
    // The record stream's setting: the selected line's.
    Level Recording() const { return Line(Selected()); }
    void SetRecording(const Level& level) { SetLine(Selected(), level); }

    // Called after every change, on the writer's thread, without the settings' lock held.
    // The id undoes it (Unwatch); an Unwatch returns only once no call is running.
    int Watch(Watcher watcher);
    void Unwatch(int id);

    // Back to a program that has not routed anything (tests).
    void Reset();

  private:
    ProgramLevels() = default;
    void Changed();

    mutable std::mutex mutex_;
    Level speakers_;
    std::map<std::string, Level> lines_;
    std::string selected_ = kSynthesizerLine;
    std::mutex watchers_;  // held while watchers run, so Unwatch waits for them
    std::map<int, Watcher> watchList_;
    int nextWatcher_ = 1;
};

// The linear factors the server applies for a setting: the volume as the server stores it
// (pa_volume_t) turned back into a factor; 0 when muted.
double ServerFactor(const Level& level);
double ServerFactorOfLinear(double linear);

// What a recording of the synthesizer line applies on top of the synthesizer's own output.
// The line is recorded after the playback stream's volume (the speakers), which the record
// stream takes out again, so that the recording follows the line alone.
struct SynthesizerGains {
    double playback = 1;  // the sequencer stream's volume (the speakers)
    double record = 1;    // the record stream's volume
    bool silent = false;  // a mute anywhere on the way
    double Total() const { return silent ? 0.0 : playback * record; }
};
SynthesizerGains SynthesizerRecordingGains(const Level& speakers, const Level& line);

// A synthesizer sample as the recording holds it: the servers apply the two volumes in float,
// one after the other, and round to 16 bits at full scale 32768 (measured: bit-identical on
// PulseAudio and on PipeWire at 44.1 kHz).
inline int16_t RecordedSample(float x, const SynthesizerGains& g) {
    if (g.silent) return 0;
    float y = x * float(g.playback);
    y *= float(g.record);
    const long v = std::lrintf(y * 32768.0f);
    return int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}
constexpr double kRecordedFullScale = 32768.0;

}  // namespace platform::pulse
