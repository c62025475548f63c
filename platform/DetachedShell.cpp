// Starting a shell that starts a program in the background, and reaping the shell.
#include "platform/DetachedShell.h"

#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "base/SystemCalls.h"

extern char** environ; // NOLINT(readability-redundant-declaration)

namespace veldo::platform {

bool runDetachedShell(std::string_view script, std::string_view name, std::string_view argument)
{
    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return false;
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    char sh[] = "/bin/sh";
    char dashC[] = "-c";
    std::string scriptText(script);
    std::string nameText(name);
    std::string argumentText(argument);
    char* argv[] = {sh, dashC, scriptText.data(), nameText.data(), argumentText.data(), nullptr};
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

} // namespace veldo::platform
