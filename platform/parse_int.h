// Whole numbers the program takes from outside (settings, environment variables, command-line
// options): one rule for all of them, range-checked, without overflow, and a clear line for what
// is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kinetra {

// Reads text as a whole decimal number from min to max: an optional '+' or '-' and at least one
// digit, nothing else (no spaces, no fraction or exponent, no other base). True with *value set;
// false with *value untouched and, when error is not null, a line saying what was refused and
// what is wanted, e.g. "\"1e3\" is not a whole number from 0 to 2147483647" (the caller puts the
// setting's name before it). Thread: any; allocates only for the error line.
bool ParseInt(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t* value,
              std::string* error);

// The same for a 32-bit result (min and max within 32 bits).
bool ParseInt32(std::string_view text, std::int32_t min, std::int32_t max, std::int32_t* value,
                std::string* error);

}  // namespace kinetra
