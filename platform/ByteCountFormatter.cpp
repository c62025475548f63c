// English file-style byte counts.
#include "platform/ByteCountFormatter.h"

#include <array>
#include <string_view>

#include "base/CompilerWarnings.h"

namespace veldo::platform {

namespace {

__extension__ typedef unsigned __int128 Wide;

struct Unit
{
    std::string_view name;
    int digits;
};

constexpr std::array<Unit, 6> kUnits{
    {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};

Wide power(Wide base, int exponent)
{
    Wide r = 1;
    for (int i = 0; i < exponent; ++i)
        r *= base;
    return r;
}

std::string digitsOf(Wide value)
{
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return text;
}

std::string magnitudeText(Wide bytes)
{
    if (bytes == 1)
        return "1 byte";
    if (bytes < 1000)
        return digitsOf(bytes) + " bytes";
    for (std::size_t u = 0; u < kUnits.size(); ++u) {
        const Wide divisor = power(1000, static_cast<int>(u) + 1);
        const Wide scale = power(10, kUnits[u].digits);
        const Wide scaled = (bytes * scale * 2 + divisor) / (divisor * 2); // half up
        if (scaled >= 1000 * scale && u + 1 < kUnits.size())
            continue;
        std::string text = digitsOf(scaled / scale);
        std::string fraction = kUnits[u].digits > 0 ? digitsOf(scaled % scale) : "";
        fraction.insert(0, static_cast<std::size_t>(kUnits[u].digits) - fraction.size(), '0');
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
        if (!fraction.empty())
            text += "." + fraction;
        return text + " " + std::string(kUnits[u].name);
    }
    return {};
}

} // namespace

std::string ByteCountFormatter::fileString(std::int64_t bytes)
{
    if (bytes == 0)
        return "Zero KB";
    VELDO_GCC12_IGNORE_STRING_COPY
    if (bytes < 0)
        return "-" + magnitudeText(static_cast<Wide>(-(bytes + 1)) + 1);
    VELDO_GCC12_IGNORE_END
    return magnitudeText(static_cast<Wide>(bytes));
}

std::string sizeText(std::int64_t bytes)
{
    return bytes < 1 ? "Zero KB" : ByteCountFormatter::fileString(bytes);
}

} // namespace veldo::platform
