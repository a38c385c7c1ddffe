#pragma once
// A many-files run of recorded conversions (--to without --fast): one after another, each as
// the single command-line conversion runs it, a skipped or refused file told and passed over,
// a signal ending the run after the file it stopped, and a summary at the end.
#include <functional>
#include <vector>

#include "app/batch_plan.h"
#include "app/conversion_run.h"

namespace app {

// convert runs one conversion and says how it ended (a conversion that raised an error comes
// back as not whole); `place` is its "[2/5] " among the files to convert. Returns the exit
// code.
int RunRecordedBatch(
    const std::vector<TBatchJob>& plan,
    const std::function<TRunOutcome(const TBatchJob&, const std::string& place)>& convert);

}  // namespace app
