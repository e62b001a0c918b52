#pragma once

#include <functional>
#include <string>

/// Cuts a target text back until it can be used as a folder, as Convert does before a run. A
/// text is unusable while it holds "?" or "*", or names an existing file once one trailing
/// delimiter is taken off, or, with "\" as the delimiter (where a colon belongs only to a drive),
/// has its first ":" after the tenth character. Each cut keeps the folder part of the text
/// without its trailing delimiter. Answers empty when nothing usable is left, also for a text
/// that stops shrinking (a long text ending in ":").
std::string CutBackTarget(std::string text, char delim,
                          const std::function<bool(const std::string&)>& isFile);
