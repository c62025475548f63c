// FileBytes: the bytes of an open regular file as a ByteSource, read with pread.
//
// The size is taken once, when the file is opened; a file that shrinks afterwards makes the
// reads past its new end fail. Blocking on the file; thread-safe (pread keeps no position).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/UniqueFd.h"
#include "platform/ByteSource.h"

namespace veldo::platform {

class FileBytes final : public ByteSource
{
public:
    // Opens the regular file at the host path `hostPath`, whose links the caller has resolved
    // (a link there is refused, as are a FIFO or device, without blocking). None when it can't
    // be opened.
    static std::optional<FileBytes> open(const std::string& hostPath);
    // Takes an open descriptor (opened O_NONBLOCK, so a FIFO did not block the open); none
    // unless it is a regular file.
    static std::optional<FileBytes> fromDescriptor(UniqueFd fd);

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    FileBytes(UniqueFd fd, std::uint64_t size) : m_fd(std::move(fd)), m_size(size) {}

    UniqueFd m_fd;
    std::uint64_t m_size = 0;
};

} // namespace veldo::platform
