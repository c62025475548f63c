// The stand-in osascript's pure rules: the program it accepts and the lines it prints.
#include "tests/support/osascript/OsascriptRules.h"

#include <charconv>

namespace veldo::testsupport::osascript {

namespace {

constexpr std::string_view kTry = "try\n";
constexpr std::string_view kRunStart = "return do shell script \"";
constexpr std::string_view kPromptStart = " with prompt \"";
constexpr std::string_view kRunEnd =
    " with administrator privileges without altering line endings\n";
constexpr std::string_view kTail = "on error errorMessage number errorNumber\n"
                                   "return \"VELDO-ERROR \" & errorNumber & \" \" & errorMessage\n"
                                   "end try\n";

bool consume(std::string_view& text, std::string_view expected)
{
    if (!text.starts_with(expected))
        return false;
    text.remove_prefix(expected.size());
    return true;
}

// One string literal's contents up to its closing quote (consumed), escapes undone. Line breaks
// belong to the literal, as in AppleScript.
std::optional<std::string> literal(std::string_view& text)
{
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return value;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return std::nullopt;
            value.push_back(text[++i]);
            continue;
        }
        value.push_back(c);
    }
    return std::nullopt;
}

std::string oneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return line;
}

} // namespace

std::optional<ShellRequest> parseProgram(std::string_view program)
{
    ShellRequest request;
    if (!consume(program, kTry) || !consume(program, kRunStart))
        return std::nullopt;
    auto script = literal(program);
    if (!script || !consume(program, kPromptStart))
        return std::nullopt;
    auto prompt = literal(program);
    if (!prompt || !consume(program, kRunEnd) || program != kTail)
        return std::nullopt;
    request.script = std::move(*script);
    request.prompt = std::move(*prompt);
    return request;
}

std::string shellResult(int status, std::string_view out, std::string_view err)
{
    if (status == 0) {
        if (out.ends_with('\n'))
            out.remove_suffix(1);
        return std::string(out) + "\n";
    }
    if (err.ends_with('\n'))
        err.remove_suffix(1);
    const std::string message =
        err.empty() ? std::string("The command exited with a non-zero status.") : oneLine(err);
    return "VELDO-ERROR " + std::to_string(status) + " " + message + "\n";
}

std::string pkexecResult(int status, std::string_view out, std::string_view err)
{
    if (status == 126)
        return std::string(kCancelLine) + "\n";
    if (status == 127) {
        if (err.ends_with('\n'))
            err.remove_suffix(1);
        return "VELDO-ERROR -60005 " +
               (err.empty() ? std::string("Administrator authorization failed.") : oneLine(err)) +
               "\n";
    }
    return shellResult(status, out, err);
}

std::vector<std::string> pkexecArguments()
{
    return {"/usr/bin/env",
            "-i",
            "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
            "LANG=C",
            "LC_ALL=C",
            "/bin/sh",
            "-c",
            std::string(kShellCommand)};
}

Mode parseMode(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    Mode mode;
    if (text == "cancel") {
        mode.kind = Mode::Kind::cancel;
    } else if (text.starts_with("error ")) {
        mode.kind = Mode::Kind::error;
        mode.errorLine = "VELDO-ERROR " + std::string(text.substr(6));
    } else if (text.starts_with("exit ")) {
        const auto number = text.substr(5);
        int status = 1;
        std::from_chars(number.data(), number.data() + number.size(), status);
        mode.kind = Mode::Kind::exitStatus;
        mode.status = status;
    }
    return mode;
}

} // namespace veldo::testsupport::osascript
