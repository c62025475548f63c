// veldo-demo-app: the executable inside every demo app's bundle (the generator copies it there).
//
// Started from a bundle's Contents/MacOS, it is that app running: it does nothing until it is
// asked to quit (SIGTERM, the request Veldo sends, ends it), and ends by itself after a day, so
// that a demo app left behind doesn't run for ever. SIGTERM gets its default action back first:
// a parent that ignored it must not make the app unquittable.
#include <csignal>

#include <unistd.h>

int main()
{
    // The program has one thread.
    std::signal(SIGTERM, SIG_DFL); // NOLINT(concurrency-mt-unsafe)
    // sleep answers what is left after a signal that did not end the process.
    for (unsigned left = 86400; left > 0;)
        left = ::sleep(left); // NOLINT(concurrency-mt-unsafe)
    return 0;
}
