#pragma once

#include <string_view>

/// How a run ended, as far as its exit code goes.
enum class ThvRunOutcome {
    Completed,      ///< every file converted or skipped, or none to do
    FilesFailed,    ///< the run went through, and at least one file failed
    CouldNotStart,  ///< no source, no target, a log that cannot be written: nothing was done
};

/// The "ExitCodes" option: the product's own codes (0 for every orderly end, 1 when an error
/// ends the run), or "strict" (ignoring case), the codes a scheduler can act on: 0 all done,
/// 3 some files failed (retrying the task will not help), 2 the run could not start (the task
/// may be retried elsewhere).
enum class ThvExitCodes { Classic, Strict };

ThvExitCodes ReadExitCodes(std::string_view value);

int ExitCodeOf(ThvExitCodes codes, ThvRunOutcome outcome);
