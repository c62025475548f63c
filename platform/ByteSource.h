// ByteSource: random access to the bytes of one untrusted file, each read bounded by its caller.
//
// Readers of binary formats take a ByteSource so that they can be run over a file (FileBytes,
// through pread) or over bytes in memory (tests, fuzzing). A read either fills the whole
// buffer or fails; it never reads past size().
#pragma once

#include <cstdint>
#include <span>

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

} // namespace veldo::platform
