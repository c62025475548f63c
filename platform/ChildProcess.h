// ChildProcess: one started child program with its standard output and error on pipes.
//
// The program is opened first (O_PATH, links followed) and started from descriptors (fork, then
// execveat): what runs is the file opened, even when a folder of its path turns into a link
// meanwhile, and a "/proc/self/fd/N" name starts the very file a descriptor opened elsewhere
// holds (inside the Mac root, say). When the file's folder still holds it under its name, the
// child starts it by that name in a descriptor of that folder (never following a link there);
// else from the file's own descriptor. Standard input is the null device (or, with a
// standard-input text, a pipe the owner feeds through writeInput), standard output and standard
// error each go to a new pipe, and no other descriptor is inherited (everything of ours is
// O_CLOEXEC, and every descriptor from 3 up is closed in the child besides), with one exception:
// a script's interpreter is handed the script as "/dev/fd/3/<name>" (3 being its folder, so "$0"
// leads to the script's real folder and name) or "/dev/fd/3", and that descriptor stays open for
// it. The child starts with an empty signal mask and every signal at its default action, and
// sees exactly the environment given. The parent ends of the pipes are non-blocking.
//
// Its end is seen through a process descriptor (Linux pidfd, kernel 5.3 or later) that becomes
// readable when the child has ended; signals go through that descriptor too, so they can never
// reach another process that reused the id. The object is used by one thread at a time. If it
// goes away before wait(), the child is killed (SIGKILL) and reaped: no child outlives its
// owner unseen and no zombie is left.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
#include "base/UniqueFd.h"

namespace veldo::platform {

// How a child is set up beyond its program, arguments and environment.
struct SpawnOptions
{
    // Text for the child's standard input, fed through a pipe by writeInput(); none: the null
    // device.
    std::optional<std::string> standardInput;
    // The child's working folder (a host path), entered after the program was opened; none: the
    // caller's.
    std::optional<std::string> workingDirectory;
    // Standard output and standard error share one pipe (stdoutFd()), so the two streams arrive
    // interleaved in one byte stream; stderrFd() is then -1.
    bool combinedOutput = false;
};

class ChildProcess
{
public:
    // Starts `hostExecutable` (a host path, not searched in PATH) with `argv` (argv[0]
    // included) and `environment` ("NAME=value" strings). Fails with the errno of the failed
    // start (ENOENT for a missing program, EACCES for one that may not be executed, …); the
    // error holds no path, as errors carry Mac paths only: the caller adds the one it knows.
    // A working folder that can't be entered fails the start the same way (its errno).
    static Result<ChildProcess> spawn(const std::string& hostExecutable,
                                      const std::vector<std::string>& argv,
                                      const std::vector<std::string>& environment,
                                      const SpawnOptions& options = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return m_pid; }
    int stdoutFd() const { return m_stdout.get(); }
    int stderrFd() const { return m_stderr.get(); }
    // The parent end of the standard-input pipe (non-blocking) while text is left to write;
    // -1 otherwise.
    int stdinFd() const { return m_stdin.get(); }
    // Writes as much of the remaining standard-input text as the pipe takes without blocking;
    // closes the pipe once everything is written, or when the child no longer reads it (EPIPE,
    // without raising SIGPIPE) or the write fails otherwise.
    void writeInput();
    // Closes the standard-input pipe, whatever text is left.
    void closeInput();

    // Readable once the child has ended (it stays unreaped until wait()).
    int exitFd() const { return m_pidfd.get(); }

    // Sends a signal to the child; ESRCH once it has been reaped, else the errno of a failed send.
    Result<void> sendSignal(int signal);

    // Blocks until the child has ended, reaps it and returns its wait status (as waitpid
    // reports it). Later calls return the same status.
    int wait();

    // Closes the parent ends of both output pipes (a writer still holding them then gets EPIPE)
    // and of the standard-input pipe.
    void closeOutput();

private:
    ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd out, UniqueFd err);

    pid_t m_pid = -1;
    UniqueFd m_pidfd;
    UniqueFd m_stdout;
    UniqueFd m_stderr;
    UniqueFd m_stdin;
    std::string m_input;            // the standard-input text
    std::size_t m_inputWritten = 0; // how much of it the pipe took
    std::optional<int> m_status;
};

} // namespace veldo::platform
