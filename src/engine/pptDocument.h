#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engineLimits.h"
#include "presentationText.h"

/// Reads the slide text of a binary PowerPoint 97-2003 presentation (.ppt, .pps, .pot) held in
/// memory; fileName only names the file in messages. The newest edit of the file decides which
/// records count, so text left behind by fast saves never appears. Slides come in the slide
/// list's order; per slide the title placeholder's text is the title and every other text of
/// the slide (placeholders, text boxes, shapes, groups, table cells) a body paragraph, each
/// text once; masters, notes and handouts are not read. Blank paragraphs are left out.
///
/// Throws EhvError whose message begins with the quoted file name: PowerPoint 95 and older,
/// password-protected (after trying the default password PowerPoint itself tries),
/// rights-managed, damaged (with the structure and the offset), over a limit.
ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        const ThvEngineLimits& limits = {});

/// The same with the password to try on an encrypted file instead of the default one (tests,
/// and a later "open with password").
ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        std::u16string_view password);
