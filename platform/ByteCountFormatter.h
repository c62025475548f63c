// ByteCountFormatter: byte counts as the Mac's file-style formatter writes them, in English, and
// sizeText, the one rule every size text of the windows follows.
//
// Decimal units: "1 byte", "N bytes" below 1,000, then KB without a fraction, MB with one digit,
// GB and above with two; a fraction of zeros is dropped ("2 MB", "1.5 GB"). Rounding is half up
// at the unit's precision; a value that rounds to 1,000 of a unit is written in the next unit.
// Zero is "Zero KB"; a negative count is written as its magnitude with a minus sign. Pure, any
// thread.
#pragma once

#include <cstdint>
#include <string>

namespace veldo::platform {

namespace ByteCountFormatter {
std::string fileString(std::int64_t bytes);
} // namespace ByteCountFormatter

// "Zero KB" below 1 byte, else ByteCountFormatter::fileString.
std::string sizeText(std::int64_t bytes);

} // namespace veldo::platform
