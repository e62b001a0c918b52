#pragma once

#include <string>

#include "platform/automation/automation.h"

/// The operating system's own component object library, asked before the in-process classes:
/// on Windows real COM, on POSIX nothing. Used by automation.cpp only.

/// A new instance of the class the system has registered under progId, or null when the system
/// knows no such class. Throws EAutomationError when the class is there but cannot be created.
AutomationObjectPtr CreateSystemAutomationObject(const std::string& progId);

/// True when object is one CreateSystemAutomationObject made (or one of its objects returned).
bool IsSystemObject(const IAutomationObject& object);
