#define PCRE2_CODE_UNIT_WIDTH 8
#include "discovery/VBScriptRegex.h"

#include <pcre2.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/hvError.h"
#include "platform/system/threadLocal.h"

namespace {

// The published messages, in alphabetical order of the message as the original table keeps
// them; the lookup goes by code.
constexpr std::array<TVBScriptErrRec, 43> kVBScriptErrors{{
    {429, "ActiveX component can't create object"},
    {507, "An exception occurred"},
    {449, "Argument not optional"},
    {17, "Can't perform requested operation"},
    {430, "Class doesn't support Automation"},
    {506, "Class not defined"},
    {11, "Division by zero"},
    {48, "Error in loading DLL"},
    {5020, "Expected ')' in regular expression"},
    {5019, "Expected ']' in regular expression"},
    {432, "File name or class name not found during Automation operation"},
    {92, "For loop not initialized"},
    {5008, "Illegal assignment"},
    {51, "Internal error"},
    {505, "Invalid or unqualified reference"},
    {481, "Invalid picture"},
    {5, "Invalid procedure call or argument"},
    {5021, "Invalid range in character set"},
    {94, "Invalid use of Null"},
    {448, "Named argument not found"},
    {447, "Object doesn't support current locale setting"},
    {445, "Object doesn't support this action"},
    {438, "Object doesn't support this property or method"},
    {451, "Object not a collection"},
    {504, "Object not safe for creating"},
    {503, "Object not safe for initializing"},
    {502, "Object not safe for scripting"},
    {424, "Object required"},
    {91, "Object variable not set"},
    {7, "Out of Memory"},
    {28, "Out of stack space"},
    {14, "Out of string space"},
    {6, "Overflow"},
    {35, "Sub or function not defined"},
    {9, "Subscript out of range"},
    {5017, "Syntax error in regular expression"},
    {462, "The remote server machine does not exist or is unavailable"},
    {10, "This array is fixed or temporarily locked"},
    {13, "Type mismatch"},
    {5018, "Unexpected quantifier"},
    {500, "Variable is undefined"},
    {458, "Variable uses an Automation type not supported in VBScript"},
    {450, "Wrong number of arguments or invalid property assignment"},
}};

constexpr bool TableIsAlphabetical() {
    for (std::size_t i = 1; i < kVBScriptErrors.size(); ++i) {
        if (!(std::string_view(kVBScriptErrors[i - 1].Message) <
              std::string_view(kVBScriptErrors[i].Message))) {
            return false;
        }
    }
    return true;
}
static_assert(TableIsAlphabetical(), "keep the VBScript messages in alphabetical order");

// Limits that keep a hostile expression from hanging a search: a file path is at most a few
// thousand bytes, and no sensible expression needs more than this to test one.
constexpr uint32_t kMatchLimit = 200'000;
constexpr uint32_t kDepthLimit = 100'000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kMaxPatternLength = 64 * 1024;
// Compiled patterns kept per thread. A search uses two or three; the bound only matters for
// callers that test ever new patterns.
constexpr std::size_t kMaxCachedPatterns = 64;

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

std::string EngineMessage(int errorCode) {
    std::array<PCRE2_UCHAR, 256> buffer{};
    if (pcre2_get_error_message(errorCode, buffer.data(), buffer.size()) < 0) {
        return "Regular expression engine error " + std::to_string(errorCode);
    }
    return reinterpret_cast<const char*>(buffer.data());
}

int32_t VBScriptCodeForCompileError(int errorCode) {
    switch (errorCode) {
        case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
            return hvVbsExpectedBracket;
        case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
            return hvVbsExpectedParen;
        case PCRE2_ERROR_QUANTIFIER_INVALID:
        case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
        case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
            return hvVbsUnexpectedQuantifier;
        case PCRE2_ERROR_CLASS_RANGE_ORDER:
        case PCRE2_ERROR_CLASS_INVALID_RANGE:
            return hvVbsInvalidRange;
        case PCRE2_ERROR_HEAP_FAILED:
            return hvVbsOutOfMemory;
        default:
            return hvVbsRegexSyntax;
    }
}

// The VBScript engine runs out of stack on runaway backtracking; that is the closest
// published message for a match that hit a limit.
int32_t VBScriptCodeForMatchError(int errorCode) {
    switch (errorCode) {
        case PCRE2_ERROR_MATCHLIMIT:
        case PCRE2_ERROR_DEPTHLIMIT:
        case PCRE2_ERROR_HEAPLIMIT:
            return hvVbsOutOfStackSpace;
        case PCRE2_ERROR_NOMEMORY:
            return hvVbsOutOfMemory;
        default:
            // Not a VBScript number, so the engine's own description is used.
            return static_cast<int32_t>(0x80004005u);  // E_FAIL
    }
}

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one. Follows the rules
// PCRE2 checks: shortest form, no surrogates, nothing above U+10FFFF.
std::size_t ValidSequenceLength(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    auto continuation = [&](std::size_t k) { return k < text.size() && (byte(k) & 0xC0) == 0x80; };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return continuation(i + 1) ? 2 : 0;
    if (lead < 0xF0) {
        if (!continuation(i + 1) || !continuation(i + 2)) return 0;
        if (lead == 0xE0 && byte(i + 1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && byte(i + 1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (lead < 0xF5) {
        if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return 0;
        if (lead == 0xF0 && byte(i + 1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && byte(i + 1) >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

/// The text the engine sees: the input itself when it is valid UTF-8, else a copy with every
/// invalid byte turned into U+FFFD, with the way back to the input's byte offsets.
class TSubject {
  public:
    explicit TSubject(std::string_view input) {
        std::size_t i = 0;
        while (i < input.size()) {
            std::size_t length = ValidSequenceLength(input, i);
            if (length == 0) break;
            i += length;
        }
        if (i == input.size()) {
            text_ = input;
            return;
        }
        copy_.reserve(input.size() + 16);
        offsets_.reserve(input.size() + 16);
        for (i = 0; i < input.size();) {
            std::size_t length = ValidSequenceLength(input, i);
            if (length == 0) {
                for (std::size_t k = 0; k < kReplacementCharacter.size(); ++k)
                    offsets_.push_back(i);
                copy_ += kReplacementCharacter;
                ++i;
            } else {
                for (std::size_t k = 0; k < length; ++k) offsets_.push_back(i + k);
                copy_.append(input.substr(i, length));
                i += length;
            }
        }
        offsets_.push_back(input.size());
        text_ = copy_;
    }

    TSubject(const TSubject&) = delete;  // text_ may point into copy_
    TSubject& operator=(const TSubject&) = delete;

    std::string_view Text() const { return text_; }

    /// The input's offset for an offset of Text(), which the engine gives only at character
    /// boundaries.
    std::size_t InputOffset(std::size_t offset) const {
        return offsets_.empty() ? offset : offsets_[offset];
    }

  private:
    std::string_view text_;
    std::string copy_;
    std::vector<std::size_t> offsets_;
};

struct TMatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct TMatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct TCompileContextDeleter {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
using TMatchData = std::unique_ptr<pcre2_match_data, TMatchDataDeleter>;

// Only read while matching, so one context serves every thread.
const pcre2_match_context* MatchContext() {
    static const std::unique_ptr<pcre2_match_context, TMatchContextDeleter> context = [] {
        std::unique_ptr<pcre2_match_context, TMatchContextDeleter> made(
            pcre2_match_context_create(nullptr));
        if (made) {
            pcre2_set_match_limit(made.get(), kMatchLimit);
            pcre2_set_depth_limit(made.get(), kDepthLimit);
            pcre2_set_heap_limit(made.get(), kHeapLimitKiB);
        }
        return made;
    }();
    return context.get();
}

int RunMatch(const pcre2_code* code, std::string_view subject, pcre2_match_data* data) {
    if (!data) return PCRE2_ERROR_NOMEMORY;
    return pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                       PCRE2_NO_UTF_CHECK, data, const_cast<pcre2_match_context*>(MatchContext()));
}

// A test needs only whether there is a match; the block is reused for every test of a thread
// because PCRE2 keeps its backtracking memory in it.
TMatchData& TestMatchData() {
    static ThvThreadLocal<TMatchData> perThread;
    TMatchData& data = perThread.Get();
    if (!data) data.reset(pcre2_match_data_create(1, nullptr));
    return data;
}

int RunTest(const pcre2_code* code, std::string_view subject) {
    TMatchData& data = TestMatchData();
    if (!data) data.reset(pcre2_match_data_create(1, nullptr));
    int rc = RunMatch(code, subject, data.get());
    // A match that hit a limit may have grown the block's memory to the heap limit; let it go
    // rather than keep it for the rest of the thread's life.
    if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) data.reset();
    return rc;
}

/// What the per-thread cache keeps for a pattern: the compiled expression or its error.
struct TCompiled {
    std::shared_ptr<const ThvRegex> Regex;
    int32_t ErrorCode = 0;
    std::string ErrorText;
};

TCompiled Compile(std::string_view pattern, ThvRegexFlags flags) {
    TCompiled result;
    try {
        result.Regex = std::make_shared<const ThvRegex>(pattern, flags);
    } catch (const ERegexException& e) {
        result.ErrorCode = e.Code();
        result.ErrorText = e.what();
    }
    return result;
}

const TCompiled& CachedCompile(std::string_view pattern, ThvRegexFlags flags) {
    static ThvThreadLocal<std::unordered_map<std::string, TCompiled>> perThread;
    std::unordered_map<std::string, TCompiled>& cache = perThread.Get();
    std::string key;
    key.reserve(pattern.size() + 1);
    key += static_cast<char>(flags & 0xFF);
    key.append(pattern);
    if (auto found = cache.find(key); found != cache.end()) return found->second;
    TCompiled compiled = Compile(pattern, flags);
    // Running out of memory says nothing about the pattern; the next call tries again.
    if (compiled.ErrorCode == hvVbsOutOfMemory) {
        static ThvThreadLocal<TCompiled> perThreadUncached;
        TCompiled& uncached = perThreadUncached.Get();
        uncached = std::move(compiled);
        return uncached;
    }
    if (cache.size() >= kMaxCachedPatterns) cache.clear();
    return cache.emplace(std::move(key), std::move(compiled)).first->second;
}

const ThvRegex& CompiledOrThrow(const TCompiled& compiled) {
    if (!compiled.Regex) throw ERegexException(compiled.ErrorCode, compiled.ErrorText);
    return *compiled.Regex;
}

void AppendGroup(std::string& out, std::string_view input, const TSubject& subject,
                 const PCRE2_SIZE* ovector, uint32_t group) {
    PCRE2_SIZE start = ovector[2 * group];
    PCRE2_SIZE end = ovector[2 * group + 1];
    if (start == PCRE2_UNSET || end < start) return;  // unset group, or \K moved the start
    std::size_t from = subject.InputOffset(start);
    std::size_t to = subject.InputOffset(end);
    out.append(input.substr(from, to - from));
}

}  // namespace

const char* VBScriptErrorMessage(int32_t code) {
    const int32_t number = code & 0xFFFF;
    for (const TVBScriptErrRec& rec : kVBScriptErrors) {
        if (rec.Code == number) return rec.Message;
    }
    return nullptr;
}

ERegexException::ERegexException(int32_t code, const std::string& engineDescription)
    : EhvError(VBScriptErrorMessage(code) ? VBScriptErrorMessage(code) : engineDescription),
      code_(code) {}

std::string WildcardToRegex(std::string_view mask) {
    std::string result;
    result.reserve(mask.size() * 2 + 1);
    // One pass gives the same text as the ordered replacements: every rule rewrites a character
    // that no earlier rule produces, and the dot rule never sees the dots of "*" and "?".
    for (char c : mask) {
        switch (c) {
            case '.':
                result += "\\.";
                break;
            case '*':
                result += ".*";
                break;
            case '?':
                result += ".?";
                break;
            case '+':
            case '^':
            case '$':
            case '(':
            case ')':
            case '[':
            case ']':
            case '{':
            case '}':
                result += '\\';
                result += c;
                break;
            default:
                result += c;
        }
    }
    result += '$';
    return result;
}

void ThvRegex::TCodeDeleter::operator()(pcre2_real_code_8* code) const { pcre2_code_free(code); }

ThvRegex::ThvRegex(std::string_view pattern, ThvRegexFlags flags) {
    // JavaScript's reading of \u, \x and $, which the VBScript engine shares.
    uint32_t options =
        PCRE2_UTF | PCRE2_UCP | PCRE2_NO_UTF_CHECK | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY;
    if (flags & hvRegexIgnoreCase) options |= PCRE2_CASELESS;
    if (flags & hvRegexMultiLine) options |= PCRE2_MULTILINE;

    std::unique_ptr<pcre2_compile_context, TCompileContextDeleter> context(
        pcre2_compile_context_create(nullptr));
    if (!context) throw ERegexException(hvVbsOutOfMemory, "");
    pcre2_set_max_pattern_length(context.get(), kMaxPatternLength);
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);

    TSubject text(pattern);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.Text().data()), text.Text().size(),
                              options, &errorCode, &errorOffset, context.get()));
    if (!code_)
        throw ERegexException(VBScriptCodeForCompileError(errorCode), EngineMessage(errorCode));
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &captureCount_);
}

ThvRegex::~ThvRegex() = default;

std::optional<bool> ThvRegex::TryTest(std::string_view input) const {
    TSubject subject(input);
    int rc = RunTest(code_.get(), subject.Text());
    // 0 means a match whose groups did not fit the one-pair block: still a match.
    if (rc >= 0) return true;
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    return std::nullopt;
}

bool ThvRegex::Test(std::string_view input) const {
    TSubject subject(input);
    int rc = RunTest(code_.get(), subject.Text());
    if (rc >= 0) return true;
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    throw ERegexException(VBScriptCodeForMatchError(rc), EngineMessage(rc));
}

std::string ThvRegex::Replace(std::string_view input, std::string_view replacement) const {
    TSubject subject(input);
    TMatchData data(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    int rc = RunMatch(code_.get(), subject.Text(), data.get());
    if (rc == PCRE2_ERROR_NOMATCH) return std::string(input);
    if (rc < 0) throw ERegexException(VBScriptCodeForMatchError(rc), EngineMessage(rc));

    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    std::size_t matchStart = subject.InputOffset(ovector[0]);
    std::size_t matchEnd = subject.InputOffset(std::max(ovector[0], ovector[1]));

    std::string result(input.substr(0, matchStart));
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        char c = replacement[i];
        if (c != '$' || i + 1 == replacement.size()) {
            result += c;
            continue;
        }
        char next = replacement[i + 1];
        if (next == '$') {
            result += '$';
            ++i;
        } else if (next == '&') {
            AppendGroup(result, input, subject, ovector, 0);
            ++i;
        } else if (next == '`') {
            result.append(input.substr(0, matchStart));
            ++i;
        } else if (next == '\'') {
            result.append(input.substr(matchEnd));
            ++i;
        } else if (next >= '0' && next <= '9') {
            // Two digits when that names a group, as in JavaScript; else one; else literal.
            uint32_t one = static_cast<uint32_t>(next - '0');
            uint32_t two = 0;
            bool hasTwo = i + 2 < replacement.size() && replacement[i + 2] >= '0' &&
                          replacement[i + 2] <= '9';
            if (hasTwo) two = one * 10 + static_cast<uint32_t>(replacement[i + 2] - '0');
            if (hasTwo && two >= 1 && two <= captureCount_) {
                AppendGroup(result, input, subject, ovector, two);
                i += 2;
            } else if (one >= 1 && one <= captureCount_) {
                AppendGroup(result, input, subject, ovector, one);
                ++i;
            } else {
                result += c;
            }
        } else {
            result += c;
        }
    }
    result.append(input.substr(matchEnd));
    return result;
}

std::shared_ptr<const ThvRegex> CreateRegex(std::string_view pattern, ThvRegexFlags flags) {
    const TCompiled& compiled = CachedCompile(pattern, flags);
    CompiledOrThrow(compiled);
    return compiled.Regex;
}

bool RegexTest(std::string_view pattern, ThvRegexFlags flags, std::string_view input) {
    return CompiledOrThrow(CachedCompile(pattern, flags)).Test(input);
}

std::optional<bool> RegexTryTest(std::string_view pattern, ThvRegexFlags flags,
                                 std::string_view input) {
    const TCompiled& compiled = CachedCompile(pattern, flags);
    if (!compiled.Regex) return std::nullopt;
    return compiled.Regex->TryTest(input);
}

std::string RegexReplace(std::string_view pattern, std::string_view input,
                         std::string_view replacement) {
    return CompiledOrThrow(CachedCompile(pattern, 0)).Replace(input, replacement);
}

void CheckRegExt(const std::string& pattern) {
    if (pattern.empty()) return;
    try {
        CreateRegex(pattern, hvRegexIgnoreCase);
    } catch (const ERegexException& e) {
        throw EhvError("RegExt \"" + pattern + "\" is not a valid regular expression: " + e.what());
    }
}
