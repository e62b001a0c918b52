#pragma once

#include <string>
#include <string_view>

#include "engine/base/presentationText.h"
#include "engine/base/readOptions.h"

/// Opens a presentation by its content, whatever its name says: a zip container is read as an
/// Office Open XML presentation; a compound file is told apart once (compoundProbe.h) as an
/// encrypted Office Open XML file (password or rights management), a binary PowerPoint
/// presentation (read by the binary reader, pptSlideText.h) or something else; anything else
/// is not a presentation. Every failure is an EhvError whose message begins with the file name
/// in double quotes and says what is wrong with the file.

/// Reads the file at path. Pictures, media and embedded objects inside it are never read.
ThvPresentationText LoadPresentationFile(const std::string& path,
                                         const ThvReadOptions& options = {});

/// Reads a presentation held in memory; fileName is used in messages only.
ThvPresentationText LoadPresentationBytes(std::string_view bytes, std::string_view fileName,
                                          const ThvReadOptions& options = {});

/// True for names the engine cannot open because they are addresses ("http://...").
bool IsRemoteName(std::string_view name);
