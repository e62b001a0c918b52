#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "project/hvOptions.h"

/// The application information object: usage counters kept beside the program, the installation
/// number, help, support and web links, and event reports opened in the user's browser. One
/// instance, hvInfo, from the third start-up step to the end of the process.
///
/// Threads: UpdateCounter may be called from any thread (converters set "W"); everything that
/// reads or writes the store or its file holds the store lock. OpenLink hands its link to the
/// shell outside the lock.
class ThvInfo {
  public:
    /// Computes the installation number from the program folder, loads the store and counts one
    /// start ("R"). The store is named after filesStem (BesideProgramStem), exeName by default.
    explicit ThvInfo(std::string exeName) : ThvInfo(exeName, exeName) {}
    ThvInfo(std::string exeName, std::string filesStem);
    /// Writes the store once more.
    ~ThvInfo();

    ThvInfo(const ThvInfo&) = delete;
    ThvInfo& operator=(const ThvInfo&) = delete;

    /// Addresses of the maker; documentation domains until the product has its own.
    static constexpr const char* HomeUrl = "https://quillon.example.org";
    static constexpr const char* SupportMail = "support@quillon.example.org";
    /// The longest web link OpenLink opens; an event's text is cut to fit, with a note of how
    /// many characters were left out.
    static constexpr std::size_t MaxLinkLength = 2000;

    int32_t InstallId() const { return installId_; }
    std::string StorePath() const;

    /// value <= 0: the entry's value (0 when missing or not a number) plus step; otherwise value
    /// itself. Saves the store when the entry's text changes.
    void UpdateCounter(const std::string& name, int32_t value, int32_t step);

    /// Opens the support mail ("supports"), the help file ("h"), a product page (any other
    /// page), an event report (no page, an action) or the home page. Never fails. Web links
    /// are percent-encoded: each query value byte by byte (its UTF-8), except letters, digits
    /// and "-._~/:,@"; an action "err&e=<text>" gives the two fields a=err and e=<text>;
    /// extra is appended after "&" as a piece of query, with only blanks, control characters,
    /// "#" and non-ASCII bytes encoded.
    ///
    /// The help file is the program path with ".chm", or else ".pdf", beside the program; an
    /// installed program's PDF in its installed data folder when none is beside it; and the
    /// missing ".pdf" beside the program when there is none at all.
    void OpenLink(const std::string& page, const std::string& action, const std::string& extra);
    /// The link OpenLink opens, without opening it.
    std::string Link(const std::string& page, const std::string& action,
                     const std::string& extra) const;

    /// The handler for errors that reach the window's message loop: counts "E" and opens the
    /// error report.
    void AppException(const std::string& message);

    /// The "I" (installation) and "U" (removal) command-line reports; letter is upper case and
    /// argument the whole command-line argument.
    void CommandLineReport(char letter, const std::string& argument);

    /// The store's lines (a copy, taken under the lock).
    std::string StoreText() const;
    /// Each entry whose name begins with A to Z: its lower-cased letter and its value.
    std::string CounterText() const;

    void LoadStore();
    void SaveStore();

  private:
    void LoadStoreLocked();
    /// Writes the store; with onlyChanged, not when its file holds these bytes already.
    void SaveStoreLocked(bool onlyChanged = false);
    std::string CounterTextLocked() const;

    std::string HelpFile() const;

    const std::string exeName_;
    const std::string filesStem_;
    const int32_t installId_;
    mutable std::mutex storeLock_;
    ThvOptionList usageStore_;
    /// What the last write that succeeded put into the store's file.
    std::string savedBytes_;
};

extern ThvInfo* hvInfo;
