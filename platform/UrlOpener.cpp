// Opens URLs through xdg-open, detached, or records them for tests.
#include "platform/UrlOpener.h"

#include <cerrno>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "base/SystemCalls.h"

extern char** environ; // NOLINT(readability-redundant-declaration)

namespace veldo::platform {

namespace {

struct Recording
{
    std::mutex mutex;
    std::optional<std::vector<std::string>> urls;
};

Recording& recording()
{
    static Recording r;
    return r;
}

// A shell starts xdg-open in the background and exits at once; the opener is then nobody's
// child, so nothing waits for it and no zombie is left.
constexpr const char* kDetachScript =
    "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" >/dev/null 2>&1 &";

} // namespace

bool openUrl(std::string_view url)
{
    {
        Recording& r = recording();
        std::lock_guard lock(r.mutex);
        if (r.urls) {
            r.urls->emplace_back(url);
            return true;
        }
    }

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return false;
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    std::string text(url);
    char sh[] = "/bin/sh";
    char dashC[] = "-c";
    std::string script = kDetachScript;
    char name[] = "veldo-open-url";
    char* argv[] = {sh, dashC, script.data(), name, text.data(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, sh, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    if (base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

namespace testing {

UrlRecorder::UrlRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.urls.emplace();
}

UrlRecorder::~UrlRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.urls.reset();
}

std::vector<std::string> UrlRecorder::urls() const
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    return r.urls.value_or(std::vector<std::string>{});
}

} // namespace testing

} // namespace veldo::platform
