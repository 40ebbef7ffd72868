#include "platform/parse_int.h"

namespace kinetra {
namespace {

// Longest part of a refused text repeated in the error line.
constexpr std::size_t kQuotedChars = 40;

// The refused text as it appears in the error line: quoted, shortened, control characters and
// bytes outside ASCII shown as '?'.
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kQuotedChars; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    if (text.size() > kQuotedChars) out += "...";
    return out + "\"";
}

std::string Wanted(std::int64_t min, std::int64_t max) {
    return "a whole number from " + std::to_string(min) + " to " + std::to_string(max);
}

}  // namespace

bool ParseInt(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t* value,
              std::string* error) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    bool digits = at < text.size();
    bool tooLarge = false;
    // The magnitude, accumulated in 64 unsigned bits up to 2^63 (that of the smallest int64);
    // past it the number is too large whatever follows.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    std::uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (tooLarge || magnitude > (kLimit - digit) / 10) {
            tooLarge = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (!digits) {
        if (error != nullptr) {
            *error = text.empty() ? "an empty value is not " + Wanted(min, max)
                                  : Quoted(text) + " is not " + Wanted(min, max);
        }
        return false;
    }
    std::int64_t number = 0;
    bool inRange = !tooLarge && (negative || magnitude < kLimit);
    if (inRange) {
        number = negative ? static_cast<std::int64_t>(0 - magnitude)
                          : static_cast<std::int64_t>(magnitude);
        inRange = number >= min && number <= max;
    }
    if (!inRange) {
        if (error != nullptr) *error = Quoted(text) + " is not " + Wanted(min, max);
        return false;
    }
    *value = number;
    return true;
}

bool ParseInt32(std::string_view text, std::int32_t min, std::int32_t max, std::int32_t* value,
                std::string* error) {
    std::int64_t number = 0;
    if (!ParseInt(text, min, max, &number, error)) return false;
    *value = static_cast<std::int32_t>(number);
    return true;
}

}  // namespace kinetra
