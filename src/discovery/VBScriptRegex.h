#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/hvError.h"

/// The regular expressions the program relies on, with the VBScript engine's syntax and error
/// messages, built on PCRE2 (8-bit, UTF, Unicode properties). Patterns and inputs are UTF-8;
/// bytes that are not valid UTF-8 are seen as U+FFFD by the engine, so no text can make it
/// fail. Every function may be called on any thread.

/// Bit set of engine options.
using ThvRegexFlags = uint32_t;
inline constexpr ThvRegexFlags hvRegexIgnoreCase = 1;  ///< bit 0
inline constexpr ThvRegexFlags hvRegexMultiLine = 2;   ///< bit 1

/// VBScript error numbers the wrapper raises itself.
inline constexpr int32_t hvVbsOutOfMemory = 7;
inline constexpr int32_t hvVbsOutOfStackSpace = 28;
inline constexpr int32_t hvVbsRegexSyntax = 5017;
inline constexpr int32_t hvVbsUnexpectedQuantifier = 5018;
inline constexpr int32_t hvVbsExpectedBracket = 5019;
inline constexpr int32_t hvVbsExpectedParen = 5020;
inline constexpr int32_t hvVbsInvalidRange = 5021;

/// One row of the table of published VBScript messages.
struct TVBScriptErrRec {
    int32_t Code;
    const char* Message;
};

/// The published English message of a VBScript error number (looked up by its low 16 bits);
/// null when the number is not in the table.
const char* VBScriptErrorMessage(int32_t code);

/// An engine failure. Message: the table's text for the code, else the engine's description.
class ERegexException : public EhvError {
  public:
    ERegexException(int32_t code, const std::string& engineDescription);
    int32_t Code() const { return code_; }

  private:
    int32_t code_;
};

/// The regular expression of a wildcard mask: "*" any text, "?" zero or one character,
/// anchored at the end only ("*.ppt?" gives .*\.ppt.?$). Backslash and "|" pass through.
std::string WildcardToRegex(std::string_view mask);

struct pcre2_real_code_8;

/// A compiled expression. Immutable once made, so one object may be used by several threads
/// at once.
class ThvRegex {
  public:
    /// Throws ERegexException when the pattern does not compile.
    ThvRegex(std::string_view pattern, ThvRegexFlags flags);
    ~ThvRegex();
    ThvRegex(const ThvRegex&) = delete;
    ThvRegex& operator=(const ThvRegex&) = delete;

    /// True when the expression matches anywhere in input. Throws ERegexException when the
    /// engine gives up (a match that would take too long or too much memory).
    bool Test(std::string_view input) const;

    /// The same test without exceptions: empty when the engine gave up.
    std::optional<bool> TryTest(std::string_view input) const;

    /// Input with its first match replaced. In replacement "$$" is "$", "$&" the match, "$`"
    /// and "$'" the text before and after it, "$1" to "$99" a group; anything else is literal.
    std::string Replace(std::string_view input, std::string_view replacement) const;

  private:
    struct TCodeDeleter {
        void operator()(pcre2_real_code_8* code) const;
    };
    std::unique_ptr<pcre2_real_code_8, TCodeDeleter> code_;
    uint32_t captureCount_ = 0;
};

/// A compiled expression for pattern and flags. Compilations are cached per thread, so a search
/// of many files compiles each pattern once; the cache is bounded, and a cached object behaves
/// exactly as a fresh one. Throws ERegexException for an invalid pattern.
std::shared_ptr<const ThvRegex> CreateRegex(std::string_view pattern, ThvRegexFlags flags);

/// True when pattern matches anywhere in input (global matching off). Throws ERegexException.
bool RegexTest(std::string_view pattern, ThvRegexFlags flags, std::string_view input);

/// The same test without exceptions: empty when the engine reported an error.
std::optional<bool> RegexTryTest(std::string_view pattern, ThvRegexFlags flags,
                                 std::string_view input);

/// Throws EhvError with the expression engine's message when a "RegExt" pattern does not
/// compile; an empty pattern is no expression and passes. For a run to refuse before it starts.
void CheckRegExt(const std::string& pattern);

/// Input with the first match of pattern (case-sensitive) replaced. Throws ERegexException.
std::string RegexReplace(std::string_view pattern, std::string_view input,
                         std::string_view replacement);
