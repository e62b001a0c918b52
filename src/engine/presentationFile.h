#pragma once

#include <string>
#include <string_view>

#include "engineLimits.h"
#include "presentationText.h"

/// Opens a presentation by its content, whatever its name says: a zip container is read as an
/// Office Open XML presentation; a compound file is told apart as an encrypted Office Open XML
/// file (password or rights management), a binary PowerPoint presentation (read by the binary
/// reader, pptDocument.h) or something else; anything else is not a presentation. Every failure is
/// an EhvError whose message begins with the file name in double quotes and says what is wrong with
/// the file.

/// Reads the file at path. Pictures and media inside it are never read into memory.
ThvPresentationText LoadPresentationFile(const std::string& path,
                                         const ThvEngineLimits& limits = {});

/// Reads a presentation held in memory; fileName is used in messages only.
ThvPresentationText LoadPresentationBytes(std::string_view bytes, std::string_view fileName,
                                          const ThvEngineLimits& limits = {});

/// True for names the engine cannot open because they are addresses ("http://...").
bool IsRemoteName(std::string_view name);
