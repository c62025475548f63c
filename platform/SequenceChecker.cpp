// The failure path of the thread-confinement check.
#include "platform/SequenceChecker.h"

#include <cstdio>
#include <cstdlib>

namespace veldo::platform {

void sequenceViolation(const SequenceChecker& checker, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: %s used off the thread it is confined to\n", file, line,
                 checker.owner());
    std::abort();
}

} // namespace veldo::platform
