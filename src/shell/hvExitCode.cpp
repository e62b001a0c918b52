#include "shell/hvExitCode.h"

#include "text/textEncoding.h"

ThvExitCodes ReadExitCodes(std::string_view value) {
    return SameText(value, "strict") ? ThvExitCodes::Strict : ThvExitCodes::Classic;
}

int ExitCodeOf(ThvExitCodes codes, ThvRunOutcome outcome) {
    switch (outcome) {
        case ThvRunOutcome::Completed:
            return 0;
        case ThvRunOutcome::FilesFailed:
            return codes == ThvExitCodes::Strict ? 3 : 0;
        case ThvRunOutcome::CouldNotStart:
            return codes == ThvExitCodes::Strict ? 2 : 1;
    }
    return 1;
}
