#include "platform/pulse/program_levels.h"

#include <pulse/volume.h>

#include <algorithm>
#include <vector>

namespace platform::pulse {

const char* const kSynthesizerLine = "";

ProgramLevels& ProgramLevels::Instance() {
    static ProgramLevels levels;
    return levels;
}

Level ProgramLevels::Speakers() const {
    std::lock_guard lock(mutex_);
    return speakers_;
}

void ProgramLevels::SetSpeakers(const Level& level) {
    {
        std::lock_guard lock(mutex_);
        if (speakers_ == level) return;
        speakers_ = level;
    }
    Changed();
}

Level ProgramLevels::Line(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = lines_.find(key);
    return it == lines_.end() ? Level{} : it->second;
}

void ProgramLevels::SetLine(const std::string& key, const Level& level) {
    {
        std::lock_guard lock(mutex_);
        auto it = lines_.find(key);
        if (it != lines_.end() && it->second == level) return;
        lines_[key] = level;
    }
    Changed();
}

std::string ProgramLevels::Selected() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

void ProgramLevels::Select(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        if (selected_ == key) return;
        selected_ = key;
    }
    Changed();
}

int ProgramLevels::Watch(Watcher watcher) {
    std::lock_guard lock(watchers_);
    const int id = nextWatcher_++;
    watchList_.emplace(id, std::move(watcher));
    return id;
}

void ProgramLevels::Unwatch(int id) {
    std::lock_guard lock(watchers_);
    watchList_.erase(id);
}

void ProgramLevels::Changed() {
    std::lock_guard lock(watchers_);
    for (auto& [id, watcher] : watchList_) watcher();
}

void ProgramLevels::Reset() {
    {
        std::lock_guard lock(mutex_);
        speakers_ = {};
        lines_.clear();
        selected_ = kSynthesizerLine;
    }
    Changed();
}

double ServerFactorOfLinear(double linear) {
    if (linear <= 0) return 0;
    return pa_sw_volume_to_linear(pa_sw_volume_from_linear(linear));
}

double ServerFactor(const Level& level) {
    if (level.mute) return 0;
    return ServerFactorOfLinear(double(std::clamp(level.volume, 0L, kLevelMaximum)) /
                                double(kLevelMaximum));
}

SynthesizerGains SynthesizerRecordingGains(const Level& speakers, const Level& line) {
    SynthesizerGains g;
    g.playback = ServerFactor(speakers);
    const double wanted =
        line.mute ? 0.0 : double(std::clamp(line.volume, 0L, kLevelMaximum)) / kLevelMaximum;
    // Without sound on the playback side there is nothing to take out again.
    g.record = g.playback > 0 ? ServerFactorOfLinear(wanted / g.playback)
                              : ServerFactorOfLinear(wanted);
    g.silent = g.playback == 0 || line.mute || wanted == 0;
    return g;
}

}  // namespace platform::pulse
