#pragma once

#include <string>

class ThvBatch;

/// Throws EhvError when a list of results written to path (the unattended run's "LogFile" and
/// "JsonLog", the window's exported list) would overwrite something the run reads: a
/// presentation of the run, under any spelling of its path (one of batch's files, one its
/// search lists or would list, or the name "RenameSource" gives one), the project file, the
/// default project file, the list of recent projects, the source list, the usage store or the
/// program itself. A path whose folder does not
/// exist names nothing and passes (writing it fails later).
///
/// batch may be null: before a run, the project's "Source" and "Subdir" say what the search
/// would list. Call it on the owner's thread before anything is converted; it takes the batch's
/// lock while it looks at its files.
void CheckResultListPath(const std::string& path, ThvBatch* batch);
