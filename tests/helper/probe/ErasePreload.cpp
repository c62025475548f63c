// A preloaded library that hides itself from its process's environment.
#include <cstdlib>

__attribute__((constructor)) static void erasePreload()
{
    ::unsetenv("LD_PRELOAD"); // NOLINT(concurrency-mt-unsafe): before main
}
