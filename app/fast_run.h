#pragma once
// The offline conversions of the command line (--fast): no window, no sound server. One file,
// told as a recorded conversion tells it, or many into a folder (--to), one worker per core,
// each file's ending on a line of its own and a summary at the end. A terminal gets a progress
// line; a pipe or a file gets none.
#include <string>

#include "app/command_line.h"
#include "app/run_report.h"

namespace app {

// The exit code: 0 for a whole result (every file converted or skipped), 1 when something
// failed, 128 + n after signal n.
int RunFastConversions(const TCommandLine& line);

}  // namespace app
