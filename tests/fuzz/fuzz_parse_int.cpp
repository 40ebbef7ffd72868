// libFuzzer target: the parser of whole numbers from outside, against std::from_chars on the
// same text. The first 2 bytes pick the range; the rest is the text.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "platform/parse_int.h"

namespace {

// What a whole decimal number within [min, max] is, by the standard library: an optional '+'
// (from_chars takes only '-') and digits, all of the text.
bool Reference(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t* value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return false;
    }
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size() && *value >= min && *value <= max;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    constexpr std::int64_t kMins[4] = {std::numeric_limits<std::int64_t>::min(),
                                       std::numeric_limits<std::int32_t>::min(), 0, -100};
    constexpr std::int64_t kMaxes[4] = {std::numeric_limits<std::int64_t>::max(),
                                        std::numeric_limits<std::int32_t>::max(), 100, 0};
    const std::int64_t min = kMins[data[0] % 4];
    const std::int64_t max = kMaxes[data[1] % 4];
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    std::int64_t value = 0, expected = 0;
    std::string error;
    const bool ok = kinetra::ParseInt(text, min, max, &value, &error);
    const bool wanted = min <= max && Reference(text, min, max, &expected);
    if (ok != wanted || (ok && value != expected) || (!ok && error.empty())) std::abort();
    return 0;
}
