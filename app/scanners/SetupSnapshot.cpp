// Exporting the package managers' own records of what is installed into one folder.
#include "app/scanners/SetupSnapshot.h"

#include <cerrno>
#include <optional>

#include "app/core/CommandRunner.h"
#include "app/core/PackageManagerKind.h"
#include "app/scanners/PackageScanner.h"
#include "app/scanners/TextParts.h"
#include "platform/AtomicFile.h"
#include "platform/MacFileSystem.h"

namespace veldo::scanners::SetupSnapshot {

using core::PackageManagerKind;
using platform::MacPath;
namespace CommandRunner = core::CommandRunner;

namespace {

constexpr std::string_view kBrewfile = "Brewfile";
constexpr std::string_view kRequirements = "requirements.txt";
constexpr std::string_view kNpmGlobals = "npm-global.txt";
constexpr std::string_view kGems = "gems.txt";
constexpr std::string_view kNpmWarningsNote = "npm reported dependency warnings";

using Output = veldo::Result<CommandRunner::Output>;

struct Lists
{
    std::vector<std::string> exported;
    std::vector<std::string> failed;
    std::vector<std::string> notes;

    void add(std::string_view file, bool written)
    {
        (written ? exported : failed).emplace_back(file);
    }
};

// What the Brewfile was before brew ran: absent, a file with this identity and time, or
// unknown (its status could not be read).
struct FileStamp
{
    enum class State
    {
        absent,
        present,
        unknown
    };
    State state = State::unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    platform::FileTime modified;
};

FileStamp stampOf(const MacPath& path)
{
    const auto status = platform::fileStatus(path, platform::FollowLinks::yes);
    FileStamp stamp;
    if (!status) {
        stamp.state = status.error().systemErrno == ENOENT ? FileStamp::State::absent
                                                           : FileStamp::State::unknown;
        return stamp;
    }
    stamp.state = FileStamp::State::present;
    stamp.device = status->device;
    stamp.inode = status->inode;
    stamp.modified = status->modificationTime;
    return stamp;
}

// Whether a file stands at `path` now that was not there as `before` was.
bool freshlyWritten(const MacPath& path, const FileStamp& before)
{
    const FileStamp after = stampOf(path);
    if (after.state != FileStamp::State::present)
        return false;
    switch (before.state) {
    case FileStamp::State::absent:
        return true;
    case FileStamp::State::present:
        return after.device != before.device || after.inode != before.inode ||
               after.modified != before.modified;
    case FileStamp::State::unknown:
        return false; // nothing to tell an old file from a new one
    }
    return false;
}

bool succeeded(const Output& output)
{
    return output && output->code == 0 && !output->timedOut && !output->truncated;
}

bool writeInto(const MacPath& folder, std::string_view file, std::string_view bytes)
{
    return platform::writeFileAtomically(folder.appendingPathComponent(file), bytes).has_value();
}

void exportBrewfile(const MacPath& folder, std::chrono::milliseconds timeout,
                    const std::stop_token& stop, Lists& lists)
{
    const auto brew = PackageScanner::locatePackageTool(PackageManagerKind::brewFormula);
    if (!brew)
        return;
    const MacPath brewfile = folder.appendingPathComponent(kBrewfile);
    // brew is a child outside the Mac root's mapping: it gets the host path.
    const auto hostBrewfile = platform::resolvedHostPath(brewfile, platform::FollowLinks::no);
    if (!hostBrewfile) {
        lists.add(kBrewfile, false);
        return;
    }
    const FileStamp before = stampOf(brewfile);
    const auto output = CommandRunner::runWithUserEnvironment(
        *brew, {"bundle", "dump", "--file=" + hostBrewfile->string(), "--force"}, timeout, {},
        stop);
    lists.add(kBrewfile,
              output && output->code == 0 && !output->timedOut && freshlyWritten(brewfile, before));
}

void exportRequirements(const MacPath& folder, std::chrono::milliseconds timeout,
                        const std::stop_token& stop, Lists& lists)
{
    const auto pip = PackageScanner::locatePackageTool(PackageManagerKind::pip);
    if (!pip)
        return;
    const auto output = CommandRunner::runWithUserEnvironment(*pip, {"freeze"}, timeout, {}, stop);
    lists.add(kRequirements, succeeded(output) && writeInto(folder, kRequirements, output->stdout));
}

void exportNpmGlobals(const MacPath& folder, std::chrono::milliseconds timeout,
                      const std::stop_token& stop, Lists& lists)
{
    const auto npm = PackageScanner::locatePackageTool(PackageManagerKind::npm);
    if (!npm)
        return;
    const auto output =
        CommandRunner::runWithUserEnvironment(*npm, {"ls", "-g", "--depth=0"}, timeout, {}, stop);
    // npm prints its listing with a non-zero status when dependencies have problems.
    const bool written = output && !output->timedOut && !output->truncated &&
                         !output->stdout.empty() && writeInto(folder, kNpmGlobals, output->stdout);
    lists.add(kNpmGlobals, written);
    if (written && output->code != 0)
        lists.notes.emplace_back(kNpmWarningsNote);
}

void exportGems(const MacPath& folder, std::chrono::milliseconds timeout,
                const std::stop_token& stop, Lists& lists)
{
    // Any gem will do for a record of what is installed, the system's own too.
    const auto gem = CommandRunner::findTool("gem");
    if (!gem)
        return;
    const auto output =
        CommandRunner::runWithUserEnvironment(*gem, {"list", "--local"}, timeout, {}, stop);
    lists.add(kGems, succeeded(output) && writeInto(folder, kGems, output->stdout));
}

} // namespace

std::string exportDeveloperSnapshot(const MacPath& folder, std::chrono::milliseconds timeout,
                                    std::stop_token stop)
{
    Lists lists;
    exportBrewfile(folder, timeout, stop, lists);
    exportRequirements(folder, timeout, stop, lists);
    exportNpmGlobals(folder, timeout, stop, lists);
    exportGems(folder, timeout, stop, lists);
    return snapshotSummary(lists.exported, lists.failed, lists.notes);
}

std::string snapshotSummary(const std::vector<std::string>& exported,
                            const std::vector<std::string>& failed,
                            const std::vector<std::string>& notes)
{
    if (exported.empty() && failed.empty())
        return "No package managers found to export.";
    std::vector<std::string> lines;
    if (!exported.empty())
        lines.push_back("Exported " + joined(exported, ", "));
    if (!failed.empty())
        lines.push_back("Could not export " + joined(failed, ", "));
    lines.insert(lines.end(), notes.begin(), notes.end());
    return joined(lines, " \u00B7 ");
}

} // namespace veldo::scanners::SetupSnapshot
