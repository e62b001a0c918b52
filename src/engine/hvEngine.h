#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"

/// The in-process presentation engine that takes PowerPoint's place, reached only through the
/// automation layer under the programmatic identifier "PowerPoint.Application".
///
/// Object model (members compare ignoring case; reads without arguments may come as methods):
///   Application: Version (read, "16.0"), Visible (boolean), WindowState (1 normal,
///     2 minimized, 3 maximized), DisplayAlerts (1 none, 2 all) - all three kept and read
///     back -, Presentations (read), Path (read, the running program's folder without a
///     trailing delimiter), Quit (method).
///   Presentations: Open(fileName, readOnly[, untitled, withWindow]), Count (read).
///   Presentation: SaveAs(fileName, fileFormat[, embedFonts]) with fileFormat 6, the rich-text
///     outline, written atomically at exactly fileName; Close (method); HasVBProject, FullName,
///     ReadOnly (read); SalvageNote (read, this engine's own): for a damaged file whose intact
///     parts were read, one line that says so and what was lost (""deck.pptx" was salvaged:
///     ..."), empty otherwise.
///
/// Beyond PowerPoint's members, two of this engine's own carry what the outline leaves out; a
/// caller that finds them missing is driving another server:
///   Application.TextContent (read and write): what presentations opened from then on read
///     besides their slides' text, a comma list of "notes", "comments" and "pictures"
///     (descriptions of pictures and frames); empty by default.
///   Presentation.SaveText(fileName, format, hiddenSlides): writes the presentation atomically
///     at exactly fileName as "outline" (the rich-text outline of SaveAs with what TextContent
///     read: textFormats.h, rtfOutline.h), "markdown" or "jsonl" (UTF-8); hiddenSlides is
///     "include", "mark" or "skip".
/// Every failure is an EAutomationError whose message is the engine's own description.
///
/// Each application object owns its presentations and shares no mutable state with any other,
/// so one application per converter thread converts in parallel with the others. An object
/// and the objects it hands out are used by one thread.

/// The programmatic identifier the engine registers under.
inline constexpr const char* PowerPointProgId = "PowerPoint.Application";

/// The file format SaveAs writes: PowerPoint's ppSaveAsRTF, the rich-text outline.
inline constexpr int32_t ppSaveAsRTF = 6;

/// What the program composing the engine gives it beyond the automation calls: the calls are
/// PowerPoint's and have no room for it.
struct ThvPowerPointEngineSettings {
    /// Names the file of passwords to try on encrypted presentations, one per line in any of
    /// the program's text encodings, after the format's default password; empty for none.
    /// Asked on the converter's thread each time an encrypted file is met, so a file converted
    /// always meets the list its run names now. Passwords are never written anywhere.
    std::function<std::string()> PasswordFile;
    /// Asked while a password's slow hash runs, on the converter's thread; true ends that
    /// file's reading at once with an error (the program was asked to end). Empty: never.
    std::function<bool()> StopRequested;
};

/// A new application object, as CreateAutomationObject(PowerPointProgId) makes it.
AutomationObjectPtr CreatePowerPointApplication(const ThvPowerPointEngineSettings& settings = {});

/// Registers the engine under PowerPointProgId in the automation registry, every application
/// it creates with these settings. Registering again replaces them. Thread-safe.
void RegisterPowerPointEngine(ThvPowerPointEngineSettings settings = {});

/// The passwords of a password file: its lines, in order, empty ones left out. Throws EhvError
/// naming the file when it cannot be read.
std::vector<std::string> ReadPasswordFile(const std::string& path);
