// HelperFSError: the errno of the file-system call that failed in the helper's file access.
//
// The helper's descriptor operations return veldo::Result<T>; on failure error().systemErrno is
// the code below (error().code is ErrorCode::ioFailure). Three codes are set by the operations
// themselves rather than by a system call: kEAUTH (a per-folder check refused a step of
// openPathBeneath), EILSEQ (a name differs from the one stored on disk) and EPERM (a private
// folder failed its checks). Compare codes by name (EACCES, kEAUTH), never by a Darwin number.
#pragma once

#include <cstdint>

#include "base/Result.h"
#include "platform/ErrnoName.h"

namespace veldo::common {

using platform::kEAUTH;

struct HelperFSError
{
    std::int32_t code = 0;

    // The error carried by a failed Result of the helper's file access.
    static HelperFSError of(const Error& error) { return HelperFSError{error.systemErrno}; }
    // The Error that a Result carries for this code.
    Error toError() const { return Error::fromErrno(code); }

    friend bool operator==(const HelperFSError&, const HelperFSError&) = default;
};

// Shorthand for returning a failure with `code` from a function returning Result<T>.
inline Unexpected helperFSFailure(int code)
{
    return unexpected(Error::fromErrno(code));
}

} // namespace veldo::common
