// Fuzzes the bill-of-materials reader: no input may crash it, and every path it returns must
// be one the receipt reader can join to an install prefix safely.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/leftovers/BOMReader.h"

namespace {

bool isSafeRelativePath(std::string_view path)
{
    if (path.empty() || path.size() > veldo::leftovers::BOMReader::kMaxPathBytes)
        return false;
    std::size_t start = 0;
    for (;;) {
        const auto slash = path.find('/', start);
        const auto component = path.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (component.empty() || component == "." || component == ".." ||
            component.find('\0') != std::string_view::npos)
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : veldo::leftovers::BOMReader::entries(bytes)) {
        if (!isSafeRelativePath(entry.path))
            __builtin_trap();
    }
    return 0;
}
