// Fuzzes the Mach-O code-signature reader: no input may crash it, and every byte range it asks
// to read must lie inside the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/MachOSignature.h"

namespace {

// The input as a file that traps on any read outside it.
class CheckedBytes final : public veldo::platform::ByteSource
{
public:
    explicit CheckedBytes(std::string_view bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset)
            __builtin_trap();
        if (!out.empty())
            std::memcpy(out.data(), m_bytes.data() + offset, out.size());
        return true;
    }

private:
    std::string_view m_bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CheckedBytes source(std::string_view(reinterpret_cast<const char*>(data), size));
    auto contents = veldo::platform::readCodeSignature(source);
    if (contents && contents->entitlements &&
        contents->entitlements->size() > veldo::platform::MachO::kMaxEntitlementsBytes)
        __builtin_trap();
    return 0;
}
