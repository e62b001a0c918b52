#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/byteSource.h"
#include "engine/base/engineLimits.h"
#include "engine/zip/zipArchive.h"

/// Every local file header in the source, in file order, for a package whose central
/// directory cannot be read (missing, cut off or inconsistent), the way "zip -FF" reads one.
/// Refuses (EhvFileRefused, naming fileName) more than the limits' MaxEntries. The entries are
/// read with ReadZipEntry, which uses one only when its data inflate to the sizes and checksum
/// its header or data descriptor state.
std::vector<ThvZipEntry> ScanLocalHeaders(const ThvByteSource& source, std::string_view fileName,
                                          const ThvEngineLimits& limits);
