#pragma once

#include <string>

/// The application information object: usage counters beside the program, help, support and
/// web links, event reports. One instance, hvInfo, from the third start-up step to the end.
class ThvInfo {
  public:
    explicit ThvInfo(std::string exeName) : exeName_(std::move(exeName)) {}
    ThvInfo(const ThvInfo&) = delete;
    ThvInfo& operator=(const ThvInfo&) = delete;

    /// The "I" (installation) and "U" (removal) command-line reports; letter is upper case and
    /// argument the whole command-line argument.
    void CommandLineReport(char letter, const std::string& argument);

  private:
    std::string exeName_;
};

extern ThvInfo* hvInfo;
