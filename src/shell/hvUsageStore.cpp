#include "shell/hvUsageStore.h"

#include <chrono>
#include <vector>

#include "text/textEncoding.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::u16string& out, uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += static_cast<char16_t>(kHexDigits[(value >> shift) & 0xF]);
}

bool ParseHex(std::u16string_view text, uint32_t& value) {
    value = 0;
    for (char16_t c : text) {
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else
            return false;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

/// The key stream of the character transformation: xorshift32 seeded by the installation
/// number, so the same store looks different in every installation.
class KeyStream {
  public:
    explicit KeyStream(int32_t installId) : state_(static_cast<uint32_t>(installId) ^ 0x9E3779B9u) {
        if (state_ == 0) state_ = 0x2545F491u;
    }
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ & 0xFFF;
    }

  private:
    uint32_t state_;
};

}  // namespace

std::string EncodeUsageStore(std::string_view storeText, int32_t installId) {
    std::u16string text;
    AppendHex(text, static_cast<uint32_t>(installId), 8);
    KeyStream keys(installId);
    for (char16_t c : Utf8ToUtf16(storeText)) {
        const uint32_t code = c < 0x1000 ? c : u'?';
        AppendHex(text, (code + keys.Next()) & 0xFFF, 3);
    }
    uint32_t sum = 0;
    for (char16_t c : text) sum += c;
    AppendHex(text, sum, 8);

    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::optional<std::string> DecodeUsageStore(std::string_view fileBytes, int32_t installId) {
    if (fileBytes.size() % 2 != 0 || fileBytes.size() > MaxUsageStoreBytes) return std::nullopt;
    std::u16string text(fileBytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(fileBytes[2 * i]) |
                                        static_cast<unsigned char>(fileBytes[2 * i + 1]) << 8);
    if (text.size() < 16) return std::nullopt;

    const std::u16string_view view(text);
    uint32_t id = 0, sum = 0;
    if (!ParseHex(view.substr(0, 8), id) || id != static_cast<uint32_t>(installId))
        return std::nullopt;
    if (!ParseHex(view.substr(view.size() - 8), sum)) return std::nullopt;
    for (char16_t c : view.substr(0, view.size() - 8)) sum -= c;
    if (sum != 0) return std::nullopt;

    const std::u16string_view body = view.substr(8, view.size() - 16);
    if (body.size() % 3 != 0) return std::nullopt;
    std::u16string decoded;
    decoded.reserve(body.size() / 3);
    KeyStream keys(installId);
    for (std::size_t i = 0; i < body.size(); i += 3) {
        uint32_t code = 0;
        if (!ParseHex(body.substr(i, 3), code)) return std::nullopt;
        decoded += static_cast<char16_t>((code - keys.Next()) & 0xFFF);
    }
    return Utf16ToUtf8(decoded);
}

int32_t PackDosDateTime(int64_t unixNanoseconds) {
    using namespace std::chrono;
    const sys_time<nanoseconds> moment{nanoseconds(unixNanoseconds)};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<seconds>(moment - day)};
    const int year = static_cast<int>(date.year()) - 1980;
    if (year < 0 || year > 127) return -1;
    const uint32_t packedDate =
        static_cast<uint32_t>(year << 9 | unsigned(date.month()) << 5 | unsigned(date.day()));
    const uint32_t packedTime = static_cast<uint32_t>(
        clock.hours().count() << 11 | clock.minutes().count() << 5 | clock.seconds().count() / 2);
    return static_cast<int32_t>(packedDate << 16 | packedTime);
}
