#pragma once

#include <memory>

#include "automation.h"

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
/// Every failure is an EAutomationError whose message is the engine's own description.
///
/// Each application object owns its presentations and shares no mutable state with any other,
/// so one application per converter thread converts in parallel with the others. An object
/// and the objects it hands out are used by one thread.

/// The programmatic identifier the engine registers under.
inline constexpr const char* PowerPointProgId = "PowerPoint.Application";

/// The file format SaveAs writes: PowerPoint's ppSaveAsRTF, the rich-text outline.
inline constexpr int32_t ppSaveAsRTF = 6;

/// A new application object, as CreateAutomationObject(PowerPointProgId) makes it.
AutomationObjectPtr CreatePowerPointApplication();

/// Registers the engine under PowerPointProgId in the automation registry. Idempotent and
/// thread-safe.
void RegisterPowerPointEngine();
