// UUIDs: random generation from the kernel and the canonical text form.
#include "platform/UUID.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "base/SystemCalls.h"

namespace veldo::platform {

namespace {

bool fillFromGetrandom(std::uint8_t* out, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::getrandom(out + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool fillFromDevice(std::uint8_t* out, std::size_t size)
{
    const int fd =
        base::retryOnInterrupt([&] { return ::open("/dev/urandom", O_RDONLY | O_CLOEXEC); });
    if (fd < 0)
        return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ok;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isHyphenPosition(std::size_t i)
{
    return i == 8 || i == 13 || i == 18 || i == 23;
}

} // namespace

std::optional<UUID> UUID::random()
{
    UUID id;
    if (!fillFromGetrandom(id.bytes.data(), id.bytes.size()) &&
        !fillFromDevice(id.bytes.data(), id.bytes.size()))
        return std::nullopt;
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0f) | 0x40); // version 4
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3f) | 0x80); // RFC 4122 variant
    return id;
}

std::string UUID::string() const
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0f]);
    }
    return text;
}

std::optional<UUID> UUID::parse(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    UUID id;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hexValue(text[i]);
        const int lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        id.bytes[byte++] = static_cast<std::uint8_t>((hi << 4) | lo);
        i += 2;
    }
    return id;
}

} // namespace veldo::platform
