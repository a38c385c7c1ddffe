#include "app/fast_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/batch_plan.h"
#include "app/batch_progress.h"
#include "app/batch_run.h"
#include "app/clock_text.h"
#include "app/console_line.h"
#include "app/local_names.h"
#include "app/messages.h"
#include "app/output_checks.h"
#include "app/signal_flag.h"
#include "engine/capture_limit.h"
#include "engine/fast_conversion.h"
#include "platform/mci.h"
#include "platform/midi/smf_reader.h"
#include "platform/offline_render.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

// One file's conversion; its progress is read by the thread that draws the progress line.
struct TFastJob {
    std::string midi, wav;
    std::atomic<uint32_t> doneMs{0}, lengthMs{0};
    TRunReport report;             // written by the worker, read once it is done
    uint64_t fileMs = 0;           // likewise: the music the file holds, its tail included
    std::optional<double> gainDb;  // likewise: what normalizing gave the file
};

uint64_t ReadInPart(platform::midi::SmfCut cut) {
    switch (cut) {
        case platform::midi::SmfCut::kTrackCutOff:
            return MCI_READ_TRACK_CUT_OFF;
        case platform::midi::SmfCut::kTracksMissing:
            return MCI_READ_TRACKS_MISSING;
        default:
            return MCI_READ_WHOLE;
    }
}

// The checks, the render and its ending told as a recorded conversion's is.
void Convert(TFastJob& job, platform::OfflineRenderer& renderer,
             const engine::FastSettings& settings, const std::atomic<int>& stop, bool manyFiles,
             const engine::FastProgress& onProgress = {}) {
    const std::string refused = OutputRefusal(job.midi, job.wav);
    if (!refused.empty()) {
        job.report.Add(FromLocal(refused));
        return;
    }
    const engine::FastConversion fc = engine::ConvertFast(
        renderer, job.midi, job.wav, settings,
        [&job](uint32_t lengthMs) { return SpaceRefusal(job.wav, lengthMs); },
        [&](uint32_t doneMs, uint32_t lengthMs) {
            job.lengthMs.store(lengthMs);
            job.doneMs.store(doneMs);
            if (onProgress) onProgress(doneMs, lengthMs);
        },
        &stop,
        [&](const engine::CaptureResult& c) {
            TRunEnding ending;
            ending.target = job.wav;
            ending.signal = stop.load();
            return ReplacesTarget(c, ending, manyFiles);
        });
    job.lengthMs.store(fc.lengthMs);
    job.fileMs = fc.file.bytesCaptured * 1000 / engine::kCaptureBytesPerSecond;
    const std::string failure = !fc.refused.empty() ? fc.refused : fc.renderError;
    if (!failure.empty()) {
        job.report.Add(FromLocal(failure));
        return;
    }
    TRunEnding ending;
    ending.target = job.wav;
    ending.signal = fc.stopped ? stop.load() : 0;
    ending.lastPositionMs = int32_t(std::min<uint64_t>(
        fc.file.bytesCaptured * 1000 / engine::kCaptureBytesPerSecond, INT32_MAX));
    ending.readInPart = ReadInPart(fc.cut);
    job.report = ReportConversion(fc.file, ending);
    job.gainDb = fc.file.gainDb;
}

int RunOne(const TCommandLine& line, const engine::FastSettings& settings,
           platform::OfflineRenderer& renderer) {
    TSignalFlag stop;
    TConsoleLine console;
    TFastJob job;
    job.midi = line.files[0];
    job.wav = line.files[1];
    auto last = Clock::now() - std::chrono::seconds(1);
    Convert(job, renderer, settings, stop.Flag(), false, [&](uint32_t doneMs, uint32_t lengthMs) {
        if (doneMs == 0)
            ConsoleNote(QStringLiteral("%1 plays for %2; rendering it into %3.")
                            .arg(FromLocal(job.midi),
                                 QString::fromStdString(FormatLength(lengthMs)),
                                 FromLocal(job.wav)));
        if (Clock::now() - last < std::chrono::milliseconds(100)) return;
        last = Clock::now();
        // The tail plays on past the length; the clock stops at it.
        console.Draw(FormatClock(int32_t(std::min(doneMs, lengthMs))) +
                     TotalTimeText(int32_t(lengthMs)));
    });
    console.End();
    if (job.gainDb) ConsoleNote(NormalizedText(*job.gainDb));
    if (!job.report.Empty()) ShowMessage({job.report.Text(), TMsgIcon::miWarning});
    if (const int signal = stop.Flag().load()) return 128 + signal;
    return job.report.Whole() ? 0 : 1;
}

// Many files: the workers take them in order, each with a renderer of its own that keeps the
// SoundFont loaded from one file to the next; this thread tells each ending as it comes and
// draws the progress line between.
class TFastBatch {
  public:
    // first: a renderer already open, for the first worker; the others open their own.
    TFastBatch(const TCommandLine& line, engine::FastSettings settings,
               std::unique_ptr<platform::OfflineRenderer> first)
        : line_(line), settings_(std::move(settings)), first_(std::move(first)) {}
    int Run();

  private:
    void Plan();
    std::vector<std::thread> StartWorkers(std::vector<std::string>& openFailures);
    void Work(std::unique_ptr<platform::OfflineRenderer> renderer, std::string& failure);
    void Follow(Clock::time_point start);
    void Tell(size_t i);
    void ReadAhead();
    void DrawProgress(TConsoleLine& console, Clock::time_point start);
    TMusicAhead Ahead(uint64_t& musicMs) const;

    const TCommandLine& line_;
    const engine::FastSettings settings_;
    std::unique_ptr<platform::OfflineRenderer> first_;
    TSignalFlag stop_;
    std::vector<std::unique_ptr<TFastJob>> jobs_;
    std::atomic<size_t> next_{0};
    std::mutex mutex_;  // guards finished_
    std::condition_variable changed_;
    std::deque<size_t> finished_;
    TBatchTally tally_;
    // This thread's own: which files were told, the lengths of files not begun that it read,
    // the speed lately.
    std::vector<bool> told_;
    std::vector<std::optional<uint32_t>> readMs_;
    size_t readNext_ = 0;
    TRenderSpeed speed_;
};

int TFastBatch::Run() {
    const auto start = Clock::now();
    if (const std::string refused = BatchFolderRefusal(*line_.to); !refused.empty()) {
        ShowMessage({FromLocal(refused), TMsgIcon::miStop});
        return 1;
    }
    Plan();
    std::vector<std::string> openFailures;
    std::vector<std::thread> workers = StartWorkers(openFailures);
    Follow(start);
    for (auto& t : workers) t.join();
    for (const std::string& why : openFailures)
        if (!why.empty()) ConsoleNote(FromLocal(why + "; the other workers converted the files."));
    return TellTally(tally_, start, stop_.Flag().load());
}

void TFastBatch::Plan() {
    for (const TBatchJob& planned : PlanBatch(line_.files, *line_.to, line_.overwrite,
                                              platform::FormatExtension(line_.format))) {
        if (planned.kind == TBatchJob::Kind::kConvert) {
            jobs_.push_back(std::make_unique<TFastJob>());
            jobs_.back()->midi = planned.midi;
            jobs_.back()->wav = planned.wav;
            continue;
        }
        TellPassedOver(planned, tally_);
    }
    told_.assign(jobs_.size(), false);
    readMs_.assign(jobs_.size(), std::nullopt);
}

// openFailures: one for each worker, its own to write, read after the join.
std::vector<std::thread> TFastBatch::StartWorkers(std::vector<std::string>& openFailures) {
    const size_t wanted = line_.jobs ? size_t(*line_.jobs) : std::thread::hardware_concurrency();
    const size_t count = std::min(jobs_.size(), std::max<size_t>(1, wanted));
    openFailures.assign(count, {});
    std::vector<std::thread> workers;
    for (size_t i = 0; i < count; ++i)
        workers.emplace_back([this, &failure = openFailures[i],
                              renderer = i == 0 ? std::move(first_) : nullptr]() mutable {
            Work(std::move(renderer), failure);
        });
    return workers;
}

// The workers load their SoundFonts at the same time. One that cannot (the file went, or the
// memory) takes no file: the first worker's renderer was open before any began.
void TFastBatch::Work(std::unique_ptr<platform::OfflineRenderer> renderer, std::string& failure) {
    if (!renderer) renderer = platform::OpenOfflineRenderer(line_.soundFont.value_or(""), &failure);
    if (!renderer) return;
    for (;;) {
        const size_t i = next_.fetch_add(1);
        if (i >= jobs_.size()) return;
        if (!stop_.Flag().load())
            Convert(*jobs_[i], *renderer, settings_, stop_.Flag(), true);
        else
            jobs_[i]->report.Add(QStringLiteral("Not converted: the run was stopped."));
        {
            std::lock_guard lock(mutex_);
            finished_.push_back(i);
        }
        changed_.notify_one();
    }
}

// The endings are told above the progress line, which is redrawn below them.
void TFastBatch::Follow(Clock::time_point start) {
    TConsoleLine console;
    for (size_t done = 0; done < jobs_.size();) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(200),
                          [this] { return !finished_.empty(); });
        std::deque<size_t> now;
        now.swap(finished_);
        lock.unlock();
        if (!now.empty()) console.Clear();
        for (size_t i : now) Tell(i);
        done += now.size();
        // After a signal the workers hand back the jobs still waiting at once, untouched.
        if (done == jobs_.size()) break;
        DrawProgress(console, start);
        ReadAhead();
    }
    console.Clear();
}

void TFastBatch::Tell(size_t i) {
    const TFastJob& job = *jobs_[i];
    told_[i] = true;
    if (job.report.Whole())
        TellConverted(job.midi, job.wav, job.fileMs, tally_);
    else
        ++tally_.failed;
    if (job.gainDb)
        ConsoleNote(QStringLiteral("%1: %2").arg(FromLocal(job.wav), NormalizedText(*job.gainDb)));
    // Warnings of a whole file, and why the others failed, each under the file's name.
    for (const TFinding& f : job.report.Findings())
        ShowMessage(
            {QStringLiteral("%1: %2").arg(FromLocal(job.midi), f.text), TMsgIcon::miWarning});
}

// The lengths of files not begun, read while the workers render, so that the time left
// counts the music they hold; a little at a time, so that the line stays current.
void TFastBatch::ReadAhead() {
    const auto until = Clock::now() + std::chrono::milliseconds(20);
    while (readNext_ < jobs_.size() && Clock::now() < until) {
        const size_t i = readNext_++;
        if (i < next_.load()) continue;  // its worker has it
        std::string why;
        const auto song = platform::midi::ReadSmfFile(jobs_[i]->midi, &why);
        readMs_[i] = song ? song->lengthMs : 0;
    }
}

void TFastBatch::DrawProgress(TConsoleLine& console, Clock::time_point start) {
    uint64_t musicMs = 0;
    const TMusicAhead ahead = Ahead(musicMs);
    speed_.Add(std::chrono::duration<double>(Clock::now() - start).count(), musicMs);
    const auto speed = speed_.Speed();
    console.Draw(
        BatchProgressText({ahead.ended, jobs_.size(), musicMs, speed, TimeLeftMs(ahead, speed)}));
}

// musicMs: set to the music rendered so far, tails included.
TMusicAhead TFastBatch::Ahead(uint64_t& musicMs) const {
    const size_t started = std::min(next_.load(), jobs_.size());
    TMusicAhead ahead;
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const TFastJob& job = *jobs_[i];
        const uint32_t length = i < started ? job.lengthMs.load() : readMs_[i].value_or(0);
        if (i < started || readMs_[i]) {
            ahead.lengthsMs += length;
            ++ahead.lengths;
        }
        if (told_[i]) {
            musicMs += job.fileMs;
            ahead.tailsMs += job.fileMs > length ? job.fileMs - length : 0;
            ++ahead.ended;
        } else if (i < started) {
            const uint32_t at = job.doneMs.load();
            musicMs += at;
            ahead.underWayLeftMs += length > at ? length - at : 0;
            ++ahead.underWay;
        } else if (readMs_[i]) {
            ahead.waitingReadMs += length;
            ++ahead.waitingRead;
        } else {
            ++ahead.waitingUnread;
        }
    }
    return ahead;
}

}  // namespace

int RunFastConversions(const TCommandLine& line) {
    SetHeadless(true);  // nobody confirms a box while files are rendered
    const TVolumeChoice volume = ConversionVolume(line);
    if (!volume.warning.empty()) ConsoleNote(FromLocal(volume.warning));
    const engine::FastSettings settings{volume.volume, engine::Finishing{line.normalize}};
    // Loaded before any file: a SoundFont that cannot be loaded stops the run here.
    std::string why;
    auto renderer = platform::OpenOfflineRenderer(line.soundFont.value_or(""), &why);
    if (!renderer) {
        ShowMessage({FromLocal(why), TMsgIcon::miStop});
        return 1;
    }
    if (!line.to) return RunOne(line, settings, *renderer);
    return TFastBatch(line, settings, std::move(renderer)).Run();
}

}  // namespace app
