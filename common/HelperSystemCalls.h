// System-call wrappers shared by the helper's file-access sources (internal to common/):
// EINTR retried, links never followed, status read with statx.
#pragma once

#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

#include "base/Result.h"
#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "common/HelperStat.h"

namespace veldo::common::detail {

using base::openAt;

// True when the descriptor was opened with O_PATH (it then cannot be read, listed, or asked
// for flags and ACLs directly).
bool isPathOnly(int fd);

// A descriptor of the same object that can be read (a folder or regular file only): the same
// descriptor number when it is already readable (`owned` stays empty), else a new one in
// `owned`. -1 when there is none (other object kinds, or the reopening failed).
int readableDescriptor(int fd, mode_t type, UniqueFd& owned);

// statx of the open object (any descriptor kind), with the flags translated.
Result<HelperStat> statFd(int fd);

// statx of the entry `name` of `directory`, not following a link, in one call: the record, or
// the errno of the call; none when the file system does not report the flags in statx's
// attributes (the caller then opens the entry and asks statFd).
std::optional<Result<HelperStat>> statEntryAt(int directory, const char* name);

// f_fsid of the open object's file system (fstatfs) as one 64-bit value, its first word in the
// low half; none when fstatfs fails.
std::optional<std::uint64_t> fileSystemID(int fd);

// The mount id of the open object (statx STATX_MNT_ID); none when the kernel gives none.
std::optional<std::uint64_t> mountID(int fd);

// True when `name` is one path component that may be looked up: not empty, not "." or "..",
// no "/" and no NUL byte.
bool isSingleComponent(const std::string& name);

} // namespace veldo::common::detail
