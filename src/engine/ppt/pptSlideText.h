#pragma once

#include <string_view>

#include "engine/base/presentationText.h"
#include "engine/base/readOptions.h"

class ThvCfbReader;

/// Reads the slide text of a binary PowerPoint 97-2003 presentation (.ppt, .pps, .pot) through
/// its compound file; fileName only names the file in messages. The newest edit of the file
/// decides which records count (ThvPptDocument), so text left behind by fast saves never
/// appears. Slides come in the slide list's order; per slide the title placeholder's text is
/// the title, and the body holds the date, footer and slide number that the file's
/// headers-and-footers settings show on the slide (a date the slide computes when shown is
/// stored nowhere and left out), then every other text of the slide (placeholders, text
/// boxes, shapes, groups, table cells; their slide-number fields as the slide's number), each
/// text once. Masters, notes and handouts are not read; blank paragraphs are left out.
///
/// Throws EhvFileError whose message begins with the quoted file name: password-protected
/// (after the default password and the options' passwords), damaged (with the structure and
/// the offset), over a limit (EhvFileRefused).
ThvPresentationText ReadPptPresentation(const ThvCfbReader& cfb, std::string_view fileName,
                                        const ThvReadOptions& options);

/// The same for a compound file held in memory, without telling other compound files apart
/// first (tests, fuzzing, benchmarks; the product goes through LoadPresentationFile).
ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        const ThvReadOptions& options = {});
