#include "app/batch_run.h"

#include <algorithm>
#include <chrono>

#include "app/clock_text.h"
#include "app/local_names.h"
#include "app/messages.h"

namespace app {

void TellPassedOver(const TBatchJob& job, TBatchTally& tally) {
    const bool skip = job.kind == TBatchJob::Kind::kSkip;
    (skip ? tally.skipped : tally.failed)++;
    ShowMessage({(skip ? QStringLiteral("Skipped %1: %2") : QStringLiteral("%1: %2"))
                     .arg(FromLocal(job.midi), FromLocal(job.why))});
}

void TellConverted(const std::string& midi, const std::string& wav, uint64_t fileMs,
                   TBatchTally& tally) {
    ++tally.converted;
    tally.musicMs += fileMs;
    ShowMessage({QStringLiteral("%1: converted from %2 (%3).")
                     .arg(FromLocal(wav), FromLocal(midi),
                          QString::fromStdString(FormatLength(int64_t(fileMs))))});
}

int TellTally(TBatchTally& tally, std::chrono::steady_clock::time_point start, int signal) {
    tally.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ShowMessage({QString::fromStdString(tally.Text())});
    return tally.ExitCode(signal);
}

int RunRecordedBatch(
    const std::vector<TBatchJob>& plan,
    const std::function<TRunOutcome(const TBatchJob&, const std::string& place)>& convert) {
    const auto start = std::chrono::steady_clock::now();
    TBatchTally tally;
    int signal = 0;
    const auto total = std::count_if(plan.begin(), plan.end(), [](const TBatchJob& j) {
        return j.kind == TBatchJob::Kind::kConvert;
    });
    int number = 0;
    for (const TBatchJob& job : plan) {
        if (job.kind != TBatchJob::Kind::kConvert) {
            TellPassedOver(job, tally);
            continue;
        }
        if (signal) {
            ++tally.failed;
            ShowMessage({QStringLiteral("%1: not converted: the run was stopped.")
                             .arg(FromLocal(job.midi))});
            continue;
        }
        const std::string place =
            "[" + std::to_string(++number) + "/" + std::to_string(total) + "] ";
        const TRunOutcome outcome = convert(job, place);
        signal = outcome.signal;
        if (outcome.whole)
            TellConverted(job.midi, job.wav, outcome.fileMs, tally);
        else
            ++tally.failed;
    }
    return TellTally(tally, start, signal);
}

}  // namespace app
