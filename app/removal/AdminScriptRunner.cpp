// Running the administrator script through osascript and reading its marker lines.
#include "app/removal/AdminScriptRunner.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <utility>

#include "app/removal/AdminScriptText.h"
#include "platform/MacRoot.h"
#include "platform/OncePerRoot.h"
#include "platform/SystemError.h"
#include "platform/Unicode.h"

namespace veldo::removal::AdminRemover {

namespace {

using platform::MacPath;

constexpr std::string_view kOkPrefix = "VELDO-OK-";
constexpr std::string_view kFailPrefix = "VELDO-FAIL-";
constexpr std::string_view kHeldPrefix = "VELDO-HELD-";
constexpr std::string_view kErrorPrefix = "VELDO-ERROR";
constexpr std::string_view kCancelNumber = "-128";
constexpr std::string_view kDidNotRun = "The administrator command didn't run.";

std::string_view trimmedSpacesAndTabs(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// An optional "+" or "-", one or more digits and nothing else, within a signed 64-bit integer.
std::optional<std::int64_t> decimalInteger(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    std::int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc() || stop != end || text.empty())
        return std::nullopt;
    return value;
}

// "<n> <folder>": the number, then everything after the first space that follows it.
void parseHeld(std::string_view rest, ScriptOutcome& outcome)
{
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return;
    rest.remove_prefix(start);
    const auto space = rest.find(' ');
    if (space == std::string_view::npos || space + 1 >= rest.size())
        return;
    if (auto index = decimalInteger(rest.substr(0, space)))
        outcome.held[*index] = std::string(rest.substr(space + 1));
}

void parseLine(std::string_view line, ScriptOutcome& outcome)
{
    line = trimmedSpacesAndTabs(line);
    if (line.starts_with(kOkPrefix)) {
        if (auto index = decimalInteger(line.substr(kOkPrefix.size())))
            outcome.succeeded.insert(*index);
    } else if (line.starts_with(kFailPrefix)) {
        if (auto index = decimalInteger(line.substr(kFailPrefix.size())))
            outcome.failed.insert(*index);
    } else if (line.starts_with(kHeldPrefix)) {
        parseHeld(line.substr(kHeldPrefix.size()), outcome);
    } else if (line.starts_with(kErrorPrefix)) {
        const auto rest = trimmedSpacesAndTabs(line.substr(kErrorPrefix.size()));
        // Only the number -128 itself is a cancel, whatever blank follows it; -1280 is another
        // error.
        if (rest.substr(0, rest.find_first_of(" \t")) == kCancelNumber)
            outcome.wasCancelled = true;
        else
            outcome.errorMessage = std::string(rest);
    }
}

std::string physicalMacRoot()
{
    static platform::OncePerRoot<std::string> value([] {
        std::string root = platform::macRoot();
        if (root.empty())
            return root;
        char* resolved = ::realpath(root.c_str(), nullptr);
        if (!resolved)
            return root;
        std::string physical(resolved);
        std::free(resolved); // NOLINT(cppcoreguidelines-no-malloc): realpath's buffer
        return physical == "/" ? std::string() : physical;
    });
    return value.get();
}

} // namespace

const core::CommandRunner::Environment& scriptEnvironment()
{
    static const core::CommandRunner::Environment environment{
        {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"},
        {"LANG", "C"},
        {"LC_ALL", "C"},
    };
    return environment;
}

OsascriptProcess makeOsascriptProcess(const std::vector<std::string>& program)
{
    OsascriptProcess process{
        MacPath("/usr/bin/osascript"), {}, scriptEnvironment(), MacPath("/"), {}};
    for (const auto& line : program)
        process.standardInput.append(line).push_back('\n');
    return process;
}

std::string scriptText(const std::vector<std::string>& commands)
{
    std::string script;
    for (const auto& command : commands) {
        if (!script.empty())
            script.append("; ");
        script.append(command);
    }
    return script.append("; exit 0");
}

std::string appleScriptEscaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\')
            escaped.append("\\\\");
        else if (c == '"')
            escaped.append("\\\"");
        else
            escaped.push_back(c);
    }
    return escaped;
}

std::vector<std::string> makeOsascriptProgram(std::string_view script, std::string_view prompt)
{
    return {
        "try",
        "return do shell script \"" + appleScriptEscaped(script) + "\" with prompt \"" +
            appleScriptEscaped(prompt) +
            "\" with administrator privileges without altering line endings",
        "on error errorMessage number errorNumber",
        "return \"VELDO-ERROR \" & errorNumber & \" \" & errorMessage",
        "end try",
    };
}

std::string resultClause(std::int64_t index)
{
    const std::string n = std::to_string(index);
    return shellPath(MacPath("/bin/rmdir")) + " \"$S\" 2>/dev/null || echo \"VELDO-HELD-" + n +
           " $S\"; exit 1 ) && echo VELDO-OK-" + n + " || echo VELDO-FAIL-" + n;
}

std::string shellPath(const MacPath& path)
{
    const std::string root = physicalMacRoot();
    return root.empty() ? path.path() : shellQuoted(root) + path.path();
}

std::string shellQuotedPath(const MacPath& path)
{
    return shellQuoted(physicalMacRoot() + path.path());
}

std::string macPathFromShell(std::string_view printed)
{
    // The output reaches here repaired to valid UTF-8, so the root is compared repaired too.
    const std::string root = platform::repairedUtf8(physicalMacRoot());
    if (root.empty() || !printed.starts_with(root))
        return std::string(printed);
    const auto rest = printed.substr(root.size());
    if (rest.empty())
        return "/";
    if (rest.front() != '/')
        return std::string(printed);
    return std::string(rest);
}

ScriptOutcome parseScriptOutput(std::string_view bytes, int terminationStatus)
{
    // Messages and folder paths taken from the output become sentences: valid UTF-8 only.
    const std::string text = platform::repairedUtf8(bytes);
    const std::string_view output = text;
    ScriptOutcome outcome;
    bool anyLine = false;
    std::size_t start = 0;
    while (start <= output.size()) {
        const auto end = output.find_first_of("\n\r", start);
        const auto line = output.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty()) {
            anyLine = true;
            parseLine(line, outcome);
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (anyLine && (terminationStatus == 0 || outcome.errorMessage || outcome.wasCancelled))
        return outcome;
    if (terminationStatus != 0)
        outcome.errorMessage = std::string(kDidNotRun);
    return outcome;
}

ScriptOutcome launchFailure(const Error& error)
{
    ScriptOutcome outcome;
    if (error.systemErrno == ENOENT)
        outcome.errorMessage = "The file “osascript” doesn’t exist.";
    else if (error.systemErrno != 0)
        outcome.errorMessage =
            platform::SystemError::posix(error.systemErrno).localizedDescription();
    else
        outcome.errorMessage = std::string(kDidNotRun);
    return outcome;
}

std::string failureMessage(std::int64_t item, const ScriptOutcome& outcome)
{
    if (outcome.wasCancelled)
        return "Administrator authorization was cancelled.";
    if (auto held = outcome.held.find(item); held != outcome.held.end())
        return "Veldo couldn't finish moving it, so it was left in " + held->second +
               ", which only an administrator can open.";
    if (outcome.failed.contains(item))
        return "macOS refused to move this item even with administrator rights. It may be "
               "protected by the system.";
    if (outcome.errorMessage)
        return *outcome.errorMessage;
    return "The item couldn't be moved.";
}

ScriptOutcome runAdministratorScript(const std::vector<std::string>& commands,
                                     std::string_view prompt, std::stop_token stop)
{
    if (commands.empty())
        return {}; // nothing to run, nothing to report
    const OsascriptProcess process =
        makeOsascriptProcess(makeOsascriptProgram(scriptText(commands), prompt));
    core::CommandRunner::RunOptions options;
    options.standardInput = process.standardInput;
    options.workingDirectory = process.workingDirectory;
    // Standard error is read and dropped.
    const auto output =
        core::CommandRunner::run(process.executable, process.arguments, process.environment,
                                 core::CommandRunner::kNoTimeLimit, options, std::move(stop));
    if (!output)
        return launchFailure(output.error());
    ScriptOutcome outcome = parseScriptOutput(output->stdout, output->code);
    for (auto& [index, folder] : outcome.held)
        folder = macPathFromShell(folder);
    return outcome;
}

} // namespace veldo::removal::AdminRemover
