#include "platform/automation/systemAutomation.h"

// POSIX has no component object library: every identifier is left to the in-process classes.
AutomationObjectPtr CreateSystemAutomationObject(const std::string&) { return nullptr; }

bool IsSystemObject(const IAutomationObject&) { return false; }
