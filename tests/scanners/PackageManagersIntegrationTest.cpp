// The package scan, the package remover and the setup snapshot against the real npm, pip and
// gem, each confined to a fake Mac: a wrapper at the tool's Mac path points every folder the tool
// writes (home, temporary files, caches, its install prefix) into the fake Mac and forbids the
// network, and the test installs a local package it made itself before the scan lists it, the
// snapshot records it and the remover uninstalls it. Nothing touches the host's own packages.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CommandRunner.h"
#include "app/scanners/PackageRemover.h"
#include "app/scanners/PackageScanner.h"
#include "app/scanners/SetupSnapshot.h"
#include "platform/Unicode.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::scanners;
using veldo::core::DevPackage;
using veldo::core::PackageGroup;
using veldo::core::PackageManagerKind;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
namespace CommandRunner = veldo::core::CommandRunner;

namespace {

constexpr std::chrono::milliseconds kToolTimeout = std::chrono::seconds(180);

// The first executable `name` on the host's PATH.
std::optional<std::string> hostTool(const std::string& name)
{
    const auto environment = CommandRunner::processEnvironment();
    const auto path = environment.find("PATH");
    if (path == environment.end())
        return std::nullopt;
    std::string folders = path->second + ":";
    for (std::size_t start = 0, end; (end = folders.find(':', start)) != std::string::npos;
         start = end + 1) {
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// The interpreter itself rather than a version manager's shim, which would act on the host's
// own installs (a shim may rehash its folder after a run).
std::optional<std::string> hostPython()
{
    const auto shim = hostTool("python3");
    if (!shim)
        return std::nullopt;
    const auto output = CommandRunner::runHostProgram(
        veldo::platform::HostPath(*shim), {"-c", "import sys; print(sys.executable)"},
        CommandRunner::processEnvironment(), kToolTimeout);
    if (!output || output->code != 0 || output->timedOut)
        return std::nullopt;
    std::string path = output->stdout;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    if (path.empty() || ::access(path.c_str(), X_OK) != 0)
        return std::nullopt;
    return path;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A fake Mac whose home, temporary folder and tool caches take everything the tools write.
class ConfinedMac
{
public:
    ConfinedMac()
    {
        m_mac.mkdir("/private/tmp/tools"_mac);
        m_mac.mkdir("/opt/homebrew/bin"_mac);
        m_variables = {
            {"HOME", host(home())},
            {"TMPDIR", host("/private/tmp/tools"_mac)},
            {"XDG_CACHE_HOME", host(home().appendingPathComponent(".cache"))},
            {"XDG_CONFIG_HOME", host(home().appendingPathComponent(".config"))},
            {"XDG_DATA_HOME", host(home().appendingPathComponent(".local/share"))},
            {"npm_config_cache", host(home().appendingPathComponent(".npm"))},
            {"npm_config_prefix", host("/opt/homebrew"_mac)},
            {"npm_config_update_notifier", "false"},
            {"npm_config_audit", "false"},
            {"npm_config_fund", "false"},
            {"npm_config_offline", "true"},
            {"PIP_NO_INDEX", "1"},
            {"PIP_NO_CACHE_DIR", "1"},
            {"PIP_DISABLE_PIP_VERSION_CHECK", "1"},
            {"GEM_HOME", host("/opt/homebrew/lib/ruby/gems"_mac)},
            {"GEM_PATH", host("/opt/homebrew/lib/ruby/gems"_mac)},
            {"GEM_SPEC_CACHE", host(home().appendingPathComponent(".gem/specs"))},
        };
    }

    MacPath home() const { return m_mac.home(); }
    std::string host(const MacPath& path) const { return m_mac.host(path); }
    const FakeMac& mac() const { return m_mac; }

    // A wrapper at `at` that runs `hostExecutable` with the confined variables.
    void wrap(const MacPath& at, const std::string& hostExecutable) const
    {
        std::string script = "#!/bin/sh\n";
        for (const auto& [name, value] : m_variables)
            script += "export " + name + "=" + quoted(value) + "\n";
        script += "exec " + quoted(hostExecutable) + " \"$@\"\n";
        m_mac.write(at, script, 0755);
    }

    // Runs a host program with the confined variables; fails the test unless it succeeds.
    void run(const std::string& hostExecutable, const std::vector<std::string>& arguments) const
    {
        auto environment = CommandRunner::processEnvironment();
        for (const auto& [name, value] : m_variables)
            environment[name] = value;
        const auto output = CommandRunner::runHostProgram(veldo::platform::HostPath(hostExecutable),
                                                          arguments, environment, kToolTimeout);
        ASSERT_TRUE(output.has_value()) << hostExecutable;
        ASSERT_FALSE(output->timedOut) << hostExecutable;
        ASSERT_EQ(output->code, 0) << hostExecutable << "\n"
                                   << output->stdout << "\n"
                                   << output->stderr;
    }

private:
    FakeMac m_mac;
    CommandRunner::Environment m_variables;
};

std::vector<std::string> entries(const std::vector<PackageGroup>& groups,
                                 PackageManagerKind manager)
{
    std::vector<std::string> out;
    for (const auto& group : groups) {
        if (group.manager != manager)
            continue;
        for (const auto& p : group.packages)
            out.push_back(p.name + "=" + p.version);
    }
    return out;
}

bool holds(const std::vector<std::string>& list, const std::string& entry)
{
    return std::find(list.begin(), list.end(), entry) != list.end();
}

// Installs the npm package "veldo-fixture" 1.2.3 globally, in the fake Mac's prefix.
void installNpmFixture(const ConfinedMac& mac, const std::string& npm)
{
    const MacPath package = mac.home().appendingPathComponent("src/veldo-fixture");
    mac.mac().write(package.appendingPathComponent("package.json"),
                    R"({"name":"veldo-fixture","version":"1.2.3","main":"index.js"})");
    mac.mac().write(package.appendingPathComponent("index.js"), "module.exports = 1;\n");
    mac.wrap("/opt/homebrew/bin/npm"_mac, npm);
    mac.run(mac.host("/opt/homebrew/bin/npm"_mac), {"install", "-g", mac.host(package)});
}

// Installs the wheel "Veldo_Fixture" 2.0.1 into a virtual environment in the fake Mac, whose pip
// is the Mac's pip3.
void installPipFixture(const ConfinedMac& mac, const std::string& python)
{
    const std::string venv = mac.host("/opt/homebrew/venv"_mac);
    mac.run(python, {"-m", "venv", venv});
    // A wheel needs no build step: a zip with the module and its metadata.
    const std::string wheel =
        mac.host(mac.home().appendingPathComponent("veldo_fixture-2.0.1-py3-none-any.whl"));
    mac.run(python,
            {"-c",
             "import sys, zipfile\n"
             "info = 'veldo_fixture-2.0.1.dist-info/'\n"
             "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
             "    z.writestr('veldo_fixture/__init__.py', 'VALUE = 1\\n')\n"
             "    z.writestr(info + 'METADATA', 'Metadata-Version: 2.1\\nName: Veldo_Fixture\\n"
             "Version: 2.0.1\\n')\n"
             "    z.writestr(info + 'WHEEL', 'Wheel-Version: 1.0\\nGenerator: veldo\\n"
             "Root-Is-Purelib: true\\nTag: py3-none-any\\n')\n"
             "    z.writestr(info + 'RECORD', 'veldo_fixture/__init__.py,,\\n' + info + "
             "'METADATA,,\\n' + info + 'WHEEL,,\\n' + info + 'RECORD,,\\n')\n",
             wheel});
    mac.wrap("/opt/homebrew/bin/pip3"_mac, venv + "/bin/pip");
    mac.run(mac.host("/opt/homebrew/bin/pip3"_mac), {"install", "--no-deps", wheel});
}

// Builds and installs the gem "veldo-fixture" 0.4.2 into the fake Mac's GEM_HOME.
void installGemFixture(const ConfinedMac& mac, const std::string& gem)
{
    const MacPath source = mac.home().appendingPathComponent("src/veldo-fixture");
    mac.mac().write(source.appendingPathComponent("lib/veldo_fixture.rb"),
                    "module VeldoFixture; end\n");
    mac.mac().write(source.appendingPathComponent("veldo-fixture.gemspec"),
                    "Gem::Specification.new do |s|\n"
                    "  s.name = 'veldo-fixture'\n"
                    "  s.version = '0.4.2'\n"
                    "  s.summary = 'A gem the tests build'\n"
                    "  s.authors = ['Veldo']\n"
                    "  s.license = 'MIT'\n"
                    "  s.files = ['lib/veldo_fixture.rb']\n"
                    "end\n");
    mac.wrap("/opt/homebrew/bin/gem"_mac, gem);

    const std::string wrapper = mac.host("/opt/homebrew/bin/gem"_mac);
    mac.run("/bin/sh", {"-c", "cd \"$1\" && exec \"$2\" build veldo-fixture.gemspec", "sh",
                        mac.host(source), wrapper});
    mac.run(wrapper, {"install", "--local", "--no-document", "--bindir",
                      mac.host("/opt/homebrew/lib/ruby/bin"_mac),
                      mac.host(source.appendingPathComponent("veldo-fixture-0.4.2.gem"))});
}

// Exports the snapshot into a new folder of the fake Mac; the status line, and the folder.
std::pair<std::string, MacPath> exportSnapshot(const ConfinedMac& mac)
{
    const MacPath folder = mac.mac().mkdir(mac.home().appendingPathComponent("Snapshot"));
    return {SetupSnapshot::exportDeveloperSnapshot(folder, kToolTimeout), folder};
}

// Uninstalls one package through the remover; fails the test unless it was removed.
void uninstall(PackageManagerKind manager, const std::string& name)
{
    const PackageRemover::Timeouts timeouts{kToolTimeout, kToolTimeout};
    const auto result =
        PackageRemover::removePackages({DevPackage{manager, name, "", 0}}, timeouts);
    EXPECT_EQ(result.removed.size(), 1u) << ::testing::PrintToString(result.failureLines());
}

} // namespace

TEST(PackageManagersIntegration, NpmListsAGlobalFolderPackage)
{
    const auto npm = hostTool("npm");
    ASSERT_TRUE(npm.has_value()) << "npm is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installNpmFixture(mac, *npm));
    const auto groups = PackageScanner::scanPackages(kToolTimeout);
    const auto listed = entries(groups, PackageManagerKind::npm);
    EXPECT_TRUE(holds(listed, "veldo-fixture=1.2.3")) << ::testing::PrintToString(listed);
    for (const auto& name : {"npm=", "corepack="}) {
        for (const auto& entry : listed)
            EXPECT_FALSE(entry.starts_with(name)) << entry;
    }
}

TEST(PackageManagersIntegration, PipListsAWheelInAVirtualEnvironment)
{
    const auto python = hostPython();
    ASSERT_TRUE(python.has_value()) << "python3 is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installPipFixture(mac, *python));
    const auto groups = PackageScanner::scanPackages(kToolTimeout);
    const auto listed = entries(groups, PackageManagerKind::pip);
    EXPECT_TRUE(holds(listed, "Veldo_Fixture=2.0.1") || holds(listed, "veldo-fixture=2.0.1") ||
                holds(listed, "Veldo-Fixture=2.0.1"))
        << ::testing::PrintToString(listed);
    for (const auto& entry : listed)
        EXPECT_FALSE(entry.starts_with("pip=")) << entry;
}

TEST(PackageManagersIntegration, GemListsAGemItBuilt)
{
    const auto gem = hostTool("gem");
    ASSERT_TRUE(gem.has_value()) << "gem is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installGemFixture(mac, *gem));
    const auto groups = PackageScanner::scanPackages(kToolTimeout);
    const auto listed = entries(groups, PackageManagerKind::gem);
    EXPECT_TRUE(holds(listed, "veldo-fixture=0.4.2")) << ::testing::PrintToString(listed);
}

TEST(PackageManagersIntegration, NpmExportsAndUninstallsItsPackage)
{
    const auto npm = hostTool("npm");
    ASSERT_TRUE(npm.has_value()) << "npm is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installNpmFixture(mac, *npm));

    const auto [status, folder] = exportSnapshot(mac);
    EXPECT_TRUE(status.starts_with("Exported npm-global.txt")) << status;
    const std::string listing = mac.mac().contents(folder.appendingPathComponent("npm-global.txt"));
    EXPECT_NE(listing.find("veldo-fixture@1.2.3"), std::string::npos) << listing;

    uninstall(PackageManagerKind::npm, "veldo-fixture");
    const auto listed =
        entries(PackageScanner::scanPackages(kToolTimeout), PackageManagerKind::npm);
    EXPECT_FALSE(holds(listed, "veldo-fixture=1.2.3")) << ::testing::PrintToString(listed);
}

TEST(PackageManagersIntegration, PipExportsAndUninstallsItsPackage)
{
    const auto python = hostPython();
    ASSERT_TRUE(python.has_value()) << "python3 is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installPipFixture(mac, *python));

    const auto [status, folder] = exportSnapshot(mac);
    EXPECT_EQ(status, "Exported requirements.txt");
    const std::string frozen =
        mac.mac().contents(folder.appendingPathComponent("requirements.txt"));
    EXPECT_NE(veldo::platform::lowercased(frozen).find("veldo"), std::string::npos) << frozen;
    EXPECT_NE(frozen.find("2.0.1"), std::string::npos) << frozen;

    // pip's "show" finds nobody requiring it, so the uninstall runs.
    uninstall(PackageManagerKind::pip, "veldo-fixture");
    const auto listed =
        entries(PackageScanner::scanPackages(kToolTimeout), PackageManagerKind::pip);
    for (const auto& entry : listed)
        EXPECT_EQ(veldo::platform::lowercased(entry).find("veldo"), std::string::npos) << entry;
}

TEST(PackageManagersIntegration, GemExportsAndUninstallsItsGem)
{
    const auto gem = hostTool("gem");
    ASSERT_TRUE(gem.has_value()) << "gem is missing: run scripts/setup";
    ConfinedMac mac;
    ASSERT_NO_FATAL_FAILURE(installGemFixture(mac, *gem));

    const auto [status, folder] = exportSnapshot(mac);
    EXPECT_EQ(status, "Exported gems.txt");
    const std::string gems = mac.mac().contents(folder.appendingPathComponent("gems.txt"));
    EXPECT_NE(gems.find("veldo-fixture (0.4.2)"), std::string::npos) << gems;

    uninstall(PackageManagerKind::gem, "veldo-fixture");
    const auto listed =
        entries(PackageScanner::scanPackages(kToolTimeout), PackageManagerKind::gem);
    EXPECT_FALSE(holds(listed, "veldo-fixture=0.4.2")) << ::testing::PrintToString(listed);
}
