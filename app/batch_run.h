#pragma once
// A many-files run of recorded conversions (--to without --fast): one after another, each as
// the single command-line conversion runs it, a skipped or refused file told and passed over,
// a signal ending the run after the file it stopped, and a summary at the end.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/batch_plan.h"
#include "app/conversion_run.h"

namespace app {

// What every many-files run says, recorded or rendered, each told as it comes and counted.
// A file the plan passes over (there already, or refused).
void TellPassedOver(const TBatchJob& job, TBatchTally& tally);
// A file converted whole, with the length of the music it holds (its tail included).
void TellConverted(const std::string& midi, const std::string& wav, uint64_t fileMs,
                   TBatchTally& tally);
// The summary line of a run that began at `start`; returns the run's exit code.
int TellTally(TBatchTally& tally, std::chrono::steady_clock::time_point start, int signal);

// convert runs one conversion and says how it ended (a conversion that raised an error comes
// back as not whole); `place` is its "[2/5] " among the files to convert. Returns the exit
// code.
int RunRecordedBatch(
    const std::vector<TBatchJob>& plan,
    const std::function<TRunOutcome(const TBatchJob&, const std::string& place)>& convert);

}  // namespace app
