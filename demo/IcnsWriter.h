// App icons for the demo Mac: a coloured rounded square with the app's initial, in the "icns"
// container of macOS (a 4-byte "icns" tag and the big-endian length of the whole file, then
// entries of a 4-byte type, a big-endian length that counts the 8-byte entry header, and the
// data; "ic07" holds a 128 × 128 PNG and "ic08" a 256 × 256 PNG).
//
// Needs a QGuiApplication (the letter is drawn with the system's fonts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veldo::demo {

// The bytes of an .icns file for an app named `name` in the colour 0xRRGGBB.
std::string icnsIcon(std::uint32_t colour, std::string_view name);

} // namespace veldo::demo
