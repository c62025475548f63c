// ByteSource: random access to the bytes of one untrusted file, each read bounded by its caller.
//
// Readers of binary formats take a ByteSource so that they can be run over a file (FileBytes,
// through pread) or over bytes in memory (tests, fuzzing). A read either fills the whole
// buffer or fails; it never reads past size(). Blocking only on the file; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/UniqueFd.h"

namespace veldo::platform {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // The number of bytes the source holds.
    virtual std::uint64_t size() const = 0;
    // Fills `out` with the bytes at `offset`; false when they can't all be read (a range past
    // the end included).
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// The bytes of a string the caller keeps alive.
class MemoryBytes final : public ByteSource
{
public:
    explicit MemoryBytes(std::string_view bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::string_view m_bytes;
};

// An open regular file, read with pread. Its size is taken once, when it is opened.
class FileBytes final : public ByteSource
{
public:
    // Opens the regular file at the host path `hostPath` (the last component's link followed;
    // a FIFO or device is refused without blocking). None when it can't be opened.
    static std::optional<FileBytes> open(const std::string& hostPath);

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    FileBytes(UniqueFd fd, std::uint64_t size) : m_fd(std::move(fd)), m_size(size) {}

    UniqueFd m_fd;
    std::uint64_t m_size = 0;
};

} // namespace veldo::platform
