// Names of error numbers, the one place that says which number is which: glibc's own names,
// plus Darwin's EAUTH, which Linux lacks.
#include "platform/ErrnoName.h"

#include <cstring>
#include <string>

#include "base/CompilerWarnings.h"

namespace veldo::platform {

namespace {

constexpr std::string_view kEAUTHName = "EAUTH";

// Linux error numbers stay well below this; glibc names none above it.
constexpr int kLargestSystemErrno = 4095;

} // namespace

std::string_view errnoName(int err)
{
    if (err == kEAUTH)
        return kEAUTHName;
    if (const char* name = ::strerrorname_np(err))
        return name;
    // Numbers without a name are rare; keep one text per number for the life of the process.
    static thread_local std::string fallback;
    VELDO_GCC12_IGNORE_STRING_COPY
    fallback = "E" + std::to_string(err);
    VELDO_GCC12_IGNORE_END
    return fallback;
}

int errnoFromName(std::string_view name)
{
    if (name == kEAUTHName)
        return kEAUTH;
    for (int number = 1; number <= kLargestSystemErrno; ++number) {
        const char* known = ::strerrorname_np(number);
        if (known != nullptr && name == known)
            return number;
    }
    return -1;
}

} // namespace veldo::platform
