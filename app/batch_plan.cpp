#include "app/batch_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/clock_text.h"
#include "app/file_identity.h"

namespace app {

std::string WavNameFor(const std::string& midi, const std::string& extension) {
    const std::string name = midi.substr(midi.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") return {};
    const size_t dot = name.find_last_of('.');
    // A leading dot is part of the name (".mid" is a name of its own).
    const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    return base + extension;
}

std::vector<TBatchJob> PlanBatch(const std::vector<std::string>& midis, const std::string& folder,
                                 bool overwrite, const std::string& extension) {
    std::vector<TBatchJob> jobs;
    std::vector<std::string> planned;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const std::string& midi : midis) {
        TBatchJob job;
        job.midi = midi;
        const std::string name = WavNameFor(midi, extension);
        job.wav = name.empty() ? std::string() : prefix + name;
        struct stat st;
        if (name.empty()) {
            job.kind = TBatchJob::Kind::kRefuse;
            job.why = midi + " names no file.";
        } else if (std::any_of(planned.begin(), planned.end(),
                               [&](const std::string& p) { return NamesSameFile(p, job.wav); })) {
            job.kind = TBatchJob::Kind::kRefuse;
            job.why = "Another MIDI file of this run is converted to " + job.wav + " already.";
        } else if (!overwrite && ::lstat(job.wav.c_str(), &st) == 0) {
            job.kind = TBatchJob::Kind::kSkip;
            job.why = job.wav + " is there already (--overwrite replaces it).";
        }
        if (job.kind != TBatchJob::Kind::kRefuse) planned.push_back(job.wav);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::string TBatchTally::Text() const {
    std::string wall;
    if (wallSeconds < 60) {
        // Under a minute the clock says little: the seconds instead.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", wallSeconds);
        wall = seconds;
    } else {
        wall = FormatLength(int64_t(std::min(wallSeconds * 1000, double(INT64_MAX))));
    }
    return std::to_string(converted) + " converted, " + std::to_string(skipped) + " skipped, " +
           std::to_string(failed) + " failed; " +
           FormatLength(int64_t(std::min<uint64_t>(musicMs, INT64_MAX))) + " of music in " + wall;
}

int TBatchTally::ExitCode(int signal) const {
    if (signal) return 128 + signal;
    return failed ? 1 : 0;
}

std::string BatchFolderRefusal(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0)
        return "The folder " + folder + " cannot be used: " + std::strerror(errno) + ".";
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder.";
    return {};
}

}  // namespace app
