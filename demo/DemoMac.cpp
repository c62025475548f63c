// Filling a demo Mac: apps, leftovers, casks, orphans and developer caches.
#include "demo/DemoMac.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "demo/IcnsWriter.h"
#include "platform/MacPath.h"
#include "platform/PlistValue.h"
#include "platform/SystemError.h"
#include "tests/leftovers/support/BomWriter.h"
#include "tests/support/writers/MacTree.h"

namespace veldo::demo {

namespace fs = std::filesystem;
using base::Error;
using base::Result;
using platform::MacPath;
using platform::PlistValue;
using testsupport::MacTree;

namespace {

// The number grows whenever the demo's content changes: scripts/run-demo looks for this very line
// and makes a demo of an older generator again.
constexpr const char* kMarkerComplete = "veldo demo Mac, complete (format 2)\n";
constexpr const char* kMarkerIncomplete = "veldo demo Mac, being made\n";

// Every date of the demo counts back from this moment (2026-11-30 12:00 UTC), so two runs make
// the same Mac.
constexpr std::int64_t kDemoNow = 1796040000;
constexpr std::int64_t kDay = 86400;
constexpr int kInstalledDaysAgo = 200; // the install date of every receipt
constexpr std::int64_t kMiB = 1024 * 1024;

// Which leftovers an app leaves.
enum Leaves : unsigned
{
    support = 1u << 0,
    caches = 1u << 1,
    preferences = 1u << 2,
    byHost = 1u << 3,
    containers = 1u << 4,
    groupContainer = 1u << 5,
    savedState = 1u << 6,
    logs = 1u << 7,
    userAgent = 1u << 8,
    cookies = 1u << 9,
    webData = 1u << 10,
    receipt = 1u << 11,
    crashReport = 1u << 12,
    // Administrator-only: a system launch daemon, system support files and preferences.
    systemItems = 1u << 13,
    // A host-specific preferences file whose name only begins with the identifier (a medium
    // match).
    lookalike = 1u << 14,
};

enum class Folder
{
    applications,
    utilities,
    userApplications,
    system,
};

struct DemoApp
{
    const char* name;
    const char* identifier;
    const char* version;
    const char* build;
    Folder folder;
    int daysSinceUse; // -1: never used (no executable to have been started)
    std::uint32_t colour;
    int sizeMiB;
    unsigned leaves;
};

// clang-format off
constexpr std::array kApps{
    DemoApp{"Nimbus Notes", "com.nimbuslabs.notes", "4.2.1", "4210", Folder::applications, 2, 0xF5B700, 38,
            support | caches | preferences | byHost | containers | groupContainer | savedState | logs | cookies | webData | crashReport | lookalike},
    DemoApp{"Pixel Forge", "com.pixelforge.editor", "3.0", "300", Folder::applications, 1, 0x7B61FF, 64,
            support | caches | preferences | savedState | logs | userAgent | receipt | systemItems},
    DemoApp{"Tidewater Mail", "com.tidewater.mail", "12.4", "1240", Folder::applications, 0, 0x1E88E5, 22,
            support | caches | preferences | containers | groupContainer | webData | cookies},
    DemoApp{"Orbit Browser", "org.orbit.browser", "118.0.2", "11802", Folder::applications, 0, 0xFF7043, 96,
            support | caches | preferences | savedState | cookies | webData | crashReport},
    DemoApp{"Chordsmith", "com.chordsmith.studio", "2.7", "270", Folder::applications, 45, 0xE91E63, 120,
            support | caches | preferences | logs | receipt | systemItems},
    DemoApp{"Ledgerly", "com.ledgerly.app", "5.1", "510", Folder::applications, 9, 0x2E7D32, 18,
            support | preferences | containers},
    DemoApp{"Quill", "io.quill.writer", "1.9.3", "193", Folder::applications, 3, 0x546E7A, 12,
            preferences | caches | savedState},
    DemoApp{"Harbor VPN", "com.harborvpn.client", "6.0", "600", Folder::applications, 20, 0x00897B, 31,
            support | preferences | userAgent | logs | systemItems},
    DemoApp{"Lumen Photo", "com.lumen.photo", "8.3", "830", Folder::applications, 60, 0xFFA000, 88,
            support | caches | preferences | containers},
    DemoApp{"Metronome Pro", "com.tempo.metronome", "2.0", "200", Folder::applications, 200, 0xD32F2F, 6,
            preferences},
    DemoApp{"Driftwood", "com.driftwood.reader", "3.3", "330", Folder::applications, -1, 0x8D6E63, 9, 0},
    DemoApp{"Kiln", "dev.kiln.ide", "2024.3", "20243", Folder::applications, 4, 0x3949AB, 140,
            support | caches | preferences | logs | savedState | crashReport},
    DemoApp{"Sparrowhawk FTP", "com.sparrowhawk.ftp", "5.4", "540", Folder::applications, 120, 0x6D4C41, 27,
            support | preferences | cookies},
    DemoApp{"Atlas Maps", "com.atlas.maps", "2.2", "220", Folder::applications, 30, 0x43A047, 41,
            caches | preferences},
    DemoApp{"Cobalt Terminal", "dev.cobalt.terminal", "1.0.8", "108", Folder::utilities, 0, 0x263238, 14,
            support | preferences | savedState},
    DemoApp{"Fernleaf Calendar", "com.fernleaf.calendar", "7.1", "710", Folder::applications, 5, 0x66BB6A, 16,
            containers | groupContainer | preferences},
    DemoApp{"Hearth Chat", "com.hearth.chat", "4.48", "448", Folder::applications, 1, 0x5C6BC0, 75,
            support | caches | preferences | logs | userAgent | webData | crashReport},
    DemoApp{"Ironclad Backup", "com.ironclad.backup", "9.0", "900", Folder::applications, 14, 0x455A64, 33,
            support | preferences | logs | receipt | systemItems},
    DemoApp{"Juniper Tasks", "com.juniper.tasks", "3.6", "360", Folder::applications, 7, 0x7CB342, 11,
            containers | preferences},
    DemoApp{"Kestrel Video", "com.kestrel.video", "3.0.20", "3020", Folder::applications, 90, 0xF4511E, 110,
            support | caches | preferences},
    DemoApp{"Lantern Screen", "com.lantern.screenshot", "2.3", "230", Folder::utilities, 12, 0xFDD835, 8,
            preferences | caches},
    DemoApp{"Marble Draw", "com.marble.draw", "1.4", "140", Folder::applications, 300, 0x8E24AA, 24,
            support | preferences | savedState},
    DemoApp{"Nettle DB", "dev.nettle.db", "0.9.1", "91", Folder::applications, 25, 0x00ACC1, 19,
            support | caches | preferences | logs},
    DemoApp{"Opal Music", "com.opal.music", "5.5", "550", Folder::applications, 2, 0x26A69A, 52,
            support | caches | preferences | containers},
    DemoApp{"Pebble Clipboard", "com.pebble.clipboard", "1.2", "120", Folder::applications, -1, 0x78909C, 4, 0},
    DemoApp{"Quarry Zip", "com.quarry.zip", "4.0", "400", Folder::utilities, 150, 0xA1887F, 5,
            preferences},
    DemoApp{"Rook Chess", "com.rook.chess", "1.1", "110", Folder::userApplications, 40, 0x424242, 13,
            preferences | savedState},
    DemoApp{"Saffron Recipes", "com.saffron.recipes", "2.5", "250", Folder::userApplications, 18, 0xFB8C00, 10,
            containers},
    DemoApp{"Thistle PDF", "com.thistle.pdf", "6.2", "620", Folder::applications, 8, 0xAB47BC, 29,
            support | caches | preferences | cookies},
    DemoApp{"Nimbus Notes", "com.nimbuslabs.notes", "4.1.0", "4100", Folder::userApplications, 150, 0xF5B700, 36, 0},
    DemoApp{"Calculator", "com.apple.calculator", "10.16", "1016", Folder::system, 6, 0x616161, 3, 0},
    DemoApp{"Chess", "com.apple.Chess", "3.18", "318", Folder::system, 365, 0x5D4037, 5, 0},
    DemoApp{"TextEdit", "com.apple.TextEdit", "1.19", "119", Folder::system, 11, 0x90A4AE, 4, 0},
};
// clang-format on

// Homebrew's prefix, and the folder where the stand-in brew keeps its records and logs.
constexpr const char* kBrewPrefix = "/opt/homebrew";
constexpr const char* kBrewControlFolder = "/private/var/brew-stand-in";

// Two Homebrew casks: Orbit Browser (with a zap stanza) and Kestrel Video.
struct DemoCask
{
    const char* token;
    const char* version;
    const char* appName;
    bool zap;
};
constexpr std::array kCasks{DemoCask{"orbit-browser", "118.0.2", "Orbit Browser.app", true},
                            DemoCask{"kestrel", "3.0.20", "Kestrel Video.app", false}};
constexpr std::array kFormulae{std::pair{"wget", "1.24.5"}, std::pair{"jq", "1.7.1"},
                               std::pair{"ripgrep", "14.1.0"}};

// Leftovers of two apps that are gone, dated well over 30 days back. Each is named by its app's
// identifier: the orphan scan reads only such names (a folder named "Glimmer Slides" is never
// found).
struct DemoOrphan
{
    const char* relativePath; // below the home
    int daysOld;
    std::int64_t bytes;
};
constexpr std::array kOrphans{
    DemoOrphan{"Library/Application Support/com.glimmer.slides", 95, 6 * kMiB},
    DemoOrphan{"Library/Caches/com.glimmer.slides", 95, 12 * kMiB},
    DemoOrphan{"Library/Preferences/com.glimmer.slides.plist", 120, 4096},
    DemoOrphan{"Library/Containers/com.wavelet.recorder", 61, 9 * kMiB},
    DemoOrphan{"Library/Saved Application State/com.wavelet.recorder.savedState", 61, 8192},
    DemoOrphan{"Library/Logs/com.wavelet.recorder", 70, 2 * kMiB},
};

// Developer caches, each above the 1 MB the footprint screen shows.
struct DemoCache
{
    const char* relativePath; // below the home
    std::int64_t bytes;
};
constexpr std::array kDeveloperCaches{
    DemoCache{".npm/_cacache/content-v2/sha512/aa/blob", 36 * kMiB},
    DemoCache{"Library/Caches/pip/http-v2/a/b/wheel", 19 * kMiB},
    DemoCache{".gradle/caches/modules-2/files-2.1/jar", 48 * kMiB},
    DemoCache{"Library/Developer/Xcode/DerivedData/Kiln-abcdefghijkl/Build/Intermediates",
              62 * kMiB},
    DemoCache{".cargo/registry/cache/index.crates.io-6f17d22bba15001f/serde.crate", 12 * kMiB},
};

// The name of the app's executable: the app's own, spaces included, as most Mac apps have it.
std::string executableName(const DemoApp& app)
{
    return app.name;
}

MacPath bundlePath(const DemoApp& app, const MacPath& home)
{
    const std::string file = std::string(app.name) + ".app";
    switch (app.folder) {
    case Folder::applications:
        return MacPath("/Applications").appendingPathComponent(file);
    case Folder::utilities:
        return MacPath("/Applications/Utilities").appendingPathComponent(file);
    case Folder::userApplications:
        return home.appendingPathComponent("Applications").appendingPathComponent(file);
    case Folder::system:
        return MacPath("/System/Applications").appendingPathComponent(file);
    }
    return MacPath("/Applications").appendingPathComponent(file);
}

// Reserves `bytes` for a file without writing them (the sizes the screens show are real).
Result<void> reserve(const MacTree& tree, const MacPath& path, std::int64_t bytes)
{
    if (auto written = tree.write(path, ""); !written)
        return written.error();
    const std::string host = tree.host(path);
    base::UniqueFd fd(::open(host.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return Error::fromErrno(errno, host);
    if (bytes > 0) {
        if (const int err = ::posix_fallocate(fd.get(), 0, bytes); err != 0)
            return Error::fromErrno(err, host);
    }
    return {};
}

// The whole of a host file the demo copies in: a program or a stand-in tool script.
Result<std::string> hostFile(const std::string& path)
{
    const base::UniqueFd fd = base::openAt(AT_FDCWD, path.c_str(), O_RDONLY);
    if (!fd)
        return Error::fromErrno(errno, path);
    auto bytes = base::readAll(fd.get(), std::size_t{64} << 20);
    if (!bytes)
        return Error::fromErrno(bytes.error().systemErrno, path);
    return bytes;
}

Result<void> setTimes(const std::string& host, std::int64_t accessed, std::int64_t modified)
{
    const timespec times[2] = {{static_cast<time_t>(accessed), 0},
                               {static_cast<time_t>(modified), 0}};
    if (::utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return Error::fromErrno(errno, host);
    return {};
}

// Collects failures so that the generator reads as a list of what it makes.
class Maker
{
public:
    Maker(const DemoOptions& options, MacPath home) : m_tree(options.root), m_home(std::move(home))
    {
    }

    const MacTree& tree() const { return m_tree; }
    const MacPath& home() const { return m_home; }
    bool failed() const { return m_error.has_value(); }
    const Error& error() const { return *m_error; }

    template <typename T>
    void check(const Result<T>& result)
    {
        if (!result && !m_error)
            m_error = result.error();
    }

    void write(const MacPath& path, std::string_view contents, mode_t mode = 0644)
    {
        if (!failed())
            check(m_tree.write(path, contents, mode));
    }
    void plist(const MacPath& path, const PlistValue& value, bool binary = false)
    {
        if (!failed())
            check(m_tree.writePlist(path, value, binary));
    }
    void folder(const MacPath& path, mode_t mode = 0755)
    {
        if (!failed())
            check(m_tree.mkdir(path, mode));
    }
    void sized(const MacPath& path, std::int64_t bytes)
    {
        if (!failed())
            check(reserve(m_tree, path, bytes));
    }
    void dated(const MacPath& path, int daysOld)
    {
        if (failed())
            return;
        const std::int64_t when = kDemoNow - daysOld * kDay;
        check(setTimes(m_tree.host(path), when, when));
    }
    // Dates `path` and, when it is a folder, everything inside it (links are not followed).
    void datedTree(const MacPath& path, int daysOld)
    {
        if (failed())
            return;
        const std::int64_t when = kDemoNow - daysOld * kDay;
        const std::string host = m_tree.host(path);
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(host, ec))) {
            for (auto it = fs::recursive_directory_iterator(host, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                check(setTimes(it->path().string(), when, when));
            if (ec)
                check(Result<void>(Error::fromErrno(ec.value(), host)));
        }
        check(setTimes(host, when, when));
    }

private:
    MacTree m_tree;
    MacPath m_home;
    std::optional<Error> m_error;
};

PlistValue infoPlist(const DemoApp& app)
{
    PlistValue::Dictionary info{
        {"CFBundleIdentifier", app.identifier}, {"CFBundleName", app.name},
        {"CFBundleDisplayName", app.name},      {"CFBundleShortVersionString", app.version},
        {"CFBundleVersion", app.build},         {"CFBundlePackageType", "APPL"},
        {"CFBundleIconFile", "AppIcon"},
    };
    if (app.daysSinceUse >= 0)
        info.emplace("CFBundleExecutable", executableName(app));
    return PlistValue(std::move(info));
}

// `program`: the bytes of the app's executable.
void makeApp(Maker& m, const DemoApp& app, const std::string& program)
{
    const MacPath bundle = bundlePath(app, m.home());
    m.folder(bundle.appendingPathComponent("Contents/MacOS"));
    m.plist(bundle.appendingPathComponent("Contents/Info.plist"), infoPlist(app));
    m.write(bundle.appendingPathComponent("Contents/Resources/AppIcon.icns"),
            icnsIcon(app.colour, app.name));
    m.sized(bundle.appendingPathComponent("Contents/Resources/Assets.car"),
            static_cast<std::int64_t>(app.sizeMiB) * kMiB / 4);
    if (app.daysSinceUse >= 0) {
        const MacPath exe = bundle.appendingPathComponent("Contents/MacOS")
                                .appendingPathComponent(executableName(app));
        // A program that runs until it is asked to quit: started, the app shows as running.
        m.write(exe, program, 0755);
        if (!m.failed()) {
            const std::int64_t used = kDemoNow - app.daysSinceUse * kDay;
            m.check(setTimes(m.tree().host(exe), used, kDemoNow - 400 * kDay));
        }
    }
}

PlistValue launchdJob(const std::string& label, const std::string& program)
{
    return PlistValue(PlistValue::Dictionary{
        {"Label", label},
        {"ProgramArguments", PlistValue(PlistValue::Array{PlistValue(program)})},
        {"RunAtLoad", true},
    });
}

// The receipt of an installer package and its bill of materials.
void makeReceipt(Maker& m, const DemoApp& app)
{
    const std::string id = std::string(app.identifier) + ".pkg";
    const MacPath folder("/private/var/db/receipts");
    m.plist(folder.appendingPathComponent(id + ".plist"),
            PlistValue(PlistValue::Dictionary{
                {"PackageIdentifier", id},
                {"PackageVersion", app.version},
                {"InstallPrefixPath", "/"},
                {"InstallDate",
                 platform::PlistDate{static_cast<double>(kDemoNow - kInstalledDaysAgo * kDay)}},
            }));
    const std::string supportFolder = std::string("Library/Application Support/") + app.name;
    m.write(folder.appendingPathComponent(id + ".bom"),
            testsupport::bomFileWith({".", "./Applications",
                                      std::string("./Applications/") + app.name + ".app",
                                      "./Library", "./Library/Application Support",
                                      "./" + supportFolder, "./" + supportFolder + "/Plug-Ins"}));
}

// Makes the app's leftovers; returns each item as the leftover scan lists it.
std::vector<MacPath> makeLeftovers(Maker& m, const DemoApp& app)
{
    const MacPath library = m.home().appendingPathComponent("Library");
    const std::string id = app.identifier;
    std::vector<MacPath> made; // dated at the end
    auto item = [&](unsigned flag) { return (app.leaves & flag) != 0; };
    if (item(support)) {
        const MacPath folder =
            library.appendingPathComponent("Application Support").appendingPathComponent(app.name);
        m.sized(folder.appendingPathComponent("Library.db"), (app.sizeMiB / 16 + 1) * kMiB);
        m.write(folder.appendingPathComponent("settings.json"), "{\"theme\": \"dark\"}\n");
        made.push_back(folder);
    }
    if (item(caches)) {
        made.push_back(library.appendingPathComponent("Caches").appendingPathComponent(id));
        m.sized(made.back().appendingPathComponent("Cache.db"), (app.sizeMiB / 12 + 1) * kMiB);
    }
    if (item(preferences)) {
        made.push_back(
            library.appendingPathComponent("Preferences").appendingPathComponent(id + ".plist"));
        m.plist(made.back(),
                PlistValue(PlistValue::Dictionary{{"LaunchCount", 42}, {"WindowWidth", 960}}),
                true);
    }
    if (item(byHost)) {
        made.push_back(
            library.appendingPathComponent("Preferences/ByHost")
                .appendingPathComponent(id + ".6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F.plist"));
        m.plist(made.back(), PlistValue(PlistValue::Dictionary{{"LastSync", 1}}), true);
    }
    if (item(containers)) {
        made.push_back(library.appendingPathComponent("Containers").appendingPathComponent(id));
        m.sized(made.back().appendingPathComponent("Data/Library/Application Support/store.sqlite"),
                3 * kMiB);
    }
    if (item(groupContainer)) {
        made.push_back(library.appendingPathComponent("Group Containers")
                           .appendingPathComponent("Q7ZT3MW2XR." + id));
        m.sized(made.back().appendingPathComponent("Shared.sqlite"), kMiB);
    }
    if (item(savedState)) {
        made.push_back(library.appendingPathComponent("Saved Application State")
                           .appendingPathComponent(id + ".savedState"));
        m.write(made.back().appendingPathComponent("windows.plist"), "state");
    }
    if (item(logs)) {
        made.push_back(library.appendingPathComponent("Logs").appendingPathComponent(app.name));
        m.sized(made.back().appendingPathComponent("main.log"), kMiB / 2);
    }
    if (item(userAgent)) {
        const std::string label = id + ".updater";
        made.push_back(library.appendingPathComponent("LaunchAgents")
                           .appendingPathComponent(label + ".plist"));
        m.plist(made.back(),
                launchdJob(label, bundlePath(app, m.home()).path() + "/Contents/MacOS/updater"));
    }
    if (item(cookies)) {
        made.push_back(library.appendingPathComponent("Cookies").appendingPathComponent(
            id + ".binarycookies"));
        m.write(made.back(), std::string(2048, '\0'));
    }
    if (item(webData)) {
        made.push_back(library.appendingPathComponent("WebKit").appendingPathComponent(id));
        m.sized(made.back().appendingPathComponent("WebsiteData/IndexedDB/store"), 2 * kMiB);
        made.push_back(library.appendingPathComponent("HTTPStorages").appendingPathComponent(id));
        m.write(made.back().appendingPathComponent("httpstorages.sqlite"), "sqlite");
    }
    if (item(crashReport)) {
        // Named after the process, as macOS names them ("Hearth Chat-…").
        made.push_back(library.appendingPathComponent("Logs/DiagnosticReports")
                           .appendingPathComponent(executableName(app) + "-2026-10-02-101500.ips"));
        m.write(made.back(), "{\"app_name\":\"" + std::string(app.name) + "\"}\n");
    }
    if (item(lookalike)) {
        made.push_back(
            library.appendingPathComponent("Preferences/ByHost")
                .appendingPathComponent(id + "backup.6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F.plist"));
        m.plist(made.back(), PlistValue(PlistValue::Dictionary{{"Enabled", true}}));
    }
    // The receipt leads to the system support folder below (no scan lists a receipt itself).
    if (item(receipt))
        makeReceipt(m, app);
    if (item(systemItems)) {
        const std::string label = id + ".daemon";
        const MacPath daemon =
            MacPath("/Library/LaunchDaemons").appendingPathComponent(label + ".plist");
        const MacPath tool =
            MacPath("/Library/PrivilegedHelperTools").appendingPathComponent(label);
        const MacPath support =
            MacPath("/Library/Application Support").appendingPathComponent(app.name);
        const MacPath preferences =
            MacPath("/Library/Preferences").appendingPathComponent(id + ".plist");
        m.plist(daemon, launchdJob(label, tool.path()));
        m.write(tool, "#!/bin/sh\nexit 0\n", 0755);
        m.sized(support.appendingPathComponent("Plug-Ins/engine.bundle"), 4 * kMiB);
        m.plist(preferences, PlistValue(PlistValue::Dictionary{{"SharedLicense", "demo"}}));
        made.insert(made.end(), {daemon, tool, support, preferences});
    }
    // Last changed when the app was last used (a never-used one when it was installed).
    for (const MacPath& path : made)
        m.datedTree(path, app.daysSinceUse >= 0 ? app.daysSinceUse : kInstalledDaysAgo);
    return made;
}

void makeBrew(Maker& m, const DemoOptions& options)
{
    const MacPath prefix(kBrewPrefix);
    // The stand-in brew reads and changes the Cellar and the Caskroom; its control folder holds
    // each cask's record for "brew info".
    const MacPath control(kBrewControlFolder);
    for (const DemoCask& cask : kCasks) {
        const MacPath room =
            prefix.appendingPathComponent("Caskroom").appendingPathComponent(cask.token);
        m.folder(room.appendingPathComponent(cask.version));
        std::string ruby = std::string("cask \"") + cask.token + "\" do\n  version \"" +
                           cask.version + "\"\n  app \"" + cask.appName + "\"\n";
        if (cask.zap)
            ruby += "  zap trash: \"~/Library/Application Support/Orbit Browser\"\n";
        ruby += "end\n";
        m.write(room.appendingPathComponent(".metadata")
                    .appendingPathComponent(cask.version)
                    .appendingPathComponent("20260601120000.000/Casks")
                    .appendingPathComponent(std::string(cask.token) + ".rb"),
                ruby);
        m.write(control.appendingPathComponent("info-cask")
                    .appendingPathComponent(std::string(cask.token) + ".json"),
                std::string("{\"token\":\"") + cask.token +
                    "\",\"tap\":\"homebrew/cask\",\"installed\":\"" + cask.version +
                    "\",\"artifacts\":[{\"app\":[\"" + cask.appName + "\"]}" +
                    (cask.zap ? ",{\"zap\":[{\"trash\":[\"~/Library/Application Support/Orbit "
                                "Browser\"]}]}"
                              : "") +
                    "]}\n");
    }
    for (const auto& [name, version] : kFormulae) {
        m.write(prefix.appendingPathComponent("Cellar")
                    .appendingPathComponent(name)
                    .appendingPathComponent(version)
                    .appendingPathComponent("bin")
                    .appendingPathComponent(name),
                "#!/bin/sh\nexit 0\n", 0755);
    }
    auto script = [&](const char* name) {
        const auto text = hostFile(options.standInsFolder + "/" + name);
        m.check(text);
        return text ? *text : std::string();
    };
    m.write(prefix.appendingPathComponent("bin/brew"), script("brew"), 0755);
    m.write(MacPath("/bin/launchctl"), script("launchctl"), 0755);
    m.write(MacPath("/usr/bin/xcode-select"),
            "#!/bin/sh\n# Stand-in: the demo Mac has the command line tools.\n"
            "[ \"$1\" = -p ] && echo /Library/Developer/CommandLineTools && exit 0\nexit 2\n",
            0755);
    m.folder(MacPath("/Library/Developer/CommandLineTools/usr/bin"));
    if (!options.osascriptProgram.empty()) {
        const auto program = hostFile(options.osascriptProgram);
        m.check(program);
        if (program)
            m.write(MacPath("/usr/bin/osascript"), *program, 0755);
        // The shell tools the administrator script calls, as the Mac has them.
        m.write(MacPath("/usr/bin/stat"), script("stat"), 0755);
        for (const char* tool : {"env", "perl", "mktemp"})
            m.write(MacPath("/usr/bin").appendingPathComponent(tool), script(tool), 0755);
        m.write(MacPath("/bin/rmdir"), script("rmdir"), 0755);
        m.write(MacPath("/private/var/osascript-stand-in/VeldoRenameHook.pm"),
                script("VeldoRenameHook.pm"));
    }
}

// Veldo itself, with a feed that offers a newer build, and no automatic checks.
void makeVeldo(Maker& m)
{
    const MacPath bundle("/Applications/Veldo.app");
    m.folder(bundle.appendingPathComponent("Contents/MacOS"));
    m.plist(bundle.appendingPathComponent("Contents/Info.plist"),
            PlistValue(PlistValue::Dictionary{
                {"CFBundleIdentifier", "orbelkan.Veldo"},
                {"CFBundleName", "Veldo"},
                {"CFBundleShortVersionString", "1.0"},
                {"CFBundleVersion", "100"},
                {"CFBundleExecutable", "Veldo"},
                {"CFBundleIconFile", "AppIcon"},
                {"SUFeedURL", "file:///Users/Shared/Veldo/appcast.xml"},
            }));
    m.write(bundle.appendingPathComponent("Contents/MacOS/Veldo"), "#!/bin/sh\nexit 0\n", 0755);
    m.write(bundle.appendingPathComponent("Contents/Resources/AppIcon.icns"),
            icnsIcon(0x2F6FED, "Veldo"));
    m.write(MacPath("/Users/Shared/Veldo/appcast.xml"),
            R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Veldo</title>
<item><title>Veldo 1.1</title><sparkle:version>110</sparkle:version>
<sparkle:shortVersionString>1.1</sparkle:shortVersionString>
<description>Faster scans and a clearer review sheet.</description>
<enclosure url="https://updates.veldo.invalid/Veldo-1.1.zip" sparkle:version="110" sparkle:shortVersionString="1.1" length="1000" type="application/octet-stream"/>
</item></channel></rss>
)");
}

// The folders whose write permission the unprivileged demo takes away, so that what lies in them
// needs an administrator.
constexpr std::array kAdminFolders{"/Library/LaunchDaemons", "/Library/PrivilegedHelperTools",
                                   "/Library/Preferences", "/Library/Application Support",
                                   "/private/var/db/receipts"};

// Gives `folder` and everything in it to the user (links themselves, never what they lead to).
Result<void> giveToUser(const DemoOptions& options, const MacTree& tree, const MacPath& folder)
{
    const gid_t gid = options.ownerGid.value_or(static_cast<gid_t>(-1));
    const std::string top = tree.host(folder);
    if (::lchown(top.c_str(), *options.ownerUid, gid) != 0)
        return Error::fromErrno(errno, top);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(top, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (::lchown(it->path().c_str(), *options.ownerUid, gid) != 0)
            return Error::fromErrno(errno, it->path().string());
    }
    if (ec)
        return Error::fromErrno(ec.value(), top);
    return {};
}

// Gives the home to its user, with Homebrew's prefix (the user's on a Mac, and brew runs as the
// user) and the stand-in brew's control folder; or (unprivileged) closes the administrator
// folders.
Result<void> settleOwnership(const DemoOptions& options, const MacTree& tree, const MacPath& home)
{
    if (options.ownerUid) {
        for (const MacPath& folder : {home, MacPath(kBrewPrefix), MacPath(kBrewControlFolder)}) {
            if (auto given = giveToUser(options, tree, folder); !given)
                return given;
        }
        return {};
    }
    for (const char* folder : kAdminFolders) {
        const std::string host = tree.host(MacPath(folder));
        if (::chmod(host.c_str(), 0555) != 0)
            return Error::fromErrno(errno, host);
    }
    return {};
}

} // namespace

std::optional<std::string> refusalFor(const std::string& root)
{
    if (root.empty())
        return "Give the folder to make the demo Mac in.";
    std::error_code ec;
    const fs::path path(root);
    if (fs::weakly_canonical(path, ec) == fs::path("/"))
        return "The demo Mac can't be made in the host's root folder.";
    const auto status = fs::symlink_status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        return "“" + root + "” can't be read: " + ec.message() + ".";
    if (!fs::exists(status)) {
        if (!fs::is_directory(path.parent_path().empty() ? fs::path(".") : path.parent_path()))
            return "“" + path.parent_path().string() + "” doesn't exist.";
        return std::nullopt;
    }
    if (fs::is_symlink(status))
        return "“" + root + "” is a symbolic link; give the folder itself.";
    if (!fs::is_directory(status))
        return "“" + root + "” is not a folder.";
    if (::access(root.c_str(), W_OK | X_OK) != 0)
        return "“" + root + "” is not writable.";
    if (fs::is_empty(path, ec))
        return std::nullopt;
    const auto marker = fs::symlink_status(path / kDemoMarkerName, ec);
    if (!fs::exists(marker))
        return "“" + root + "” is not empty and holds no earlier demo Mac; nothing was changed.";
    if (!fs::is_regular_file(marker))
        return "“" + root + "” has a demo marker that is not a plain file; nothing was changed.";
    return std::nullopt;
}

base::Result<void> removeEarlierDemo(const std::string& root)
{
    std::error_code ec;
    // Folders first get write and search permission back (links are never followed: the
    // iterator does not enter them and chmod is not asked of them).
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const auto status = it->symlink_status(ec);
        if (ec)
            break;
        if (fs::is_directory(status))
            ::chmod(it->path().c_str(), 0755);
    }
    // Everything but the marker goes; the marker last, so that a removal that stops halfway
    // still leaves a folder the next run recognises.
    ec.clear();
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        if (entry.path().filename() == kDemoMarkerName)
            continue;
        std::error_code removed;
        fs::remove_all(entry.path(), removed);
        if (removed)
            return Error::fromErrno(removed.value(), entry.path().string());
    }
    if (ec)
        return Error::fromErrno(ec.value(), root);
    if (!fs::remove(fs::path(root) / kDemoMarkerName, ec) && ec)
        return Error::fromErrno(ec.value(), root);
    return {};
}

base::Result<DemoSummary> generateDemoMac(const DemoOptions& options)
{
    // Read before anything is made, so that a missing program leaves the folder as it was.
    const auto program = hostFile(options.appProgram);
    if (!program)
        return program.error();
    std::error_code ec;
    fs::create_directory(options.root, ec);
    if (ec)
        return Error::fromErrno(ec.value(), options.root);
    ::chmod(options.root.c_str(), 0755);
    const MacPath home = MacPath("/Users").appendingPathComponent(options.login);
    Maker m(options, home);
    m.write(MacPath(std::string("/") + kDemoMarkerName), kMarkerIncomplete);
    if (!m.failed())
        m.check(m.tree().makeShape(home));

    DemoSummary summary;
    for (const DemoApp& app : kApps) {
        makeApp(m, app, *program);
        const std::string bundle = bundlePath(app, home).path();
        for (const MacPath& item : makeLeftovers(m, app))
            summary.leftovers.push_back({bundle, item.path()});
        ++summary.apps;
    }
    for (int i = 1; i <= options.extraApps; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Sample App %03d", i);
        char identifier[48];
        std::snprintf(identifier, sizeof identifier, "com.example.sample%03d", i);
        const DemoApp extra{name,
                            identifier,
                            "1.0",
                            "1",
                            Folder::applications,
                            i % 50,
                            0x3000A0u + static_cast<std::uint32_t>(i) * 0x050309u,
                            0,
                            0};
        makeApp(m, extra, *program);
        ++summary.apps;
    }
    makeVeldo(m);
    makeBrew(m, options);
    for (const DemoOrphan& orphan : kOrphans) {
        const MacPath path = home.appendingPathComponent(orphan.relativePath);
        const bool isFolder = MacPath(orphan.relativePath).pathExtension().empty() ||
                              MacPath(orphan.relativePath).pathExtension() == "savedState";
        if (isFolder) {
            m.sized(path.appendingPathComponent("data"), orphan.bytes);
            m.dated(path.appendingPathComponent("data"), orphan.daysOld);
        } else {
            m.sized(path, orphan.bytes);
        }
        m.dated(path, orphan.daysOld);
        summary.orphans.push_back(path.path());
    }
    for (const DemoCache& cache : kDeveloperCaches) {
        const MacPath path = home.appendingPathComponent(cache.relativePath);
        m.sized(path, cache.bytes);
        summary.developerCaches.push_back(path.path());
    }
    if (m.failed())
        return m.error();
    if (auto settled = settleOwnership(options, m.tree(), home); !settled)
        return settled.error();
    if (auto written = m.tree().write(MacPath(std::string("/") + kDemoMarkerName), kMarkerComplete);
        !written)
        return written.error();
    return summary;
}

std::string failureSentence(const base::Error& error)
{
    if (error.systemErrno == ENOSPC || error.systemErrno == EDQUOT)
        return "The disk is full: the demo Mac could not be finished (a rerun starts over once "
               "there is room).";
    std::string sentence = "The demo Mac could not be made";
    if (!error.path.empty())
        sentence += " at “" + error.path + "”";
    if (error.systemErrno != 0)
        sentence += ": " + platform::SystemError::posix(error.systemErrno).localizedDescription();
    return sentence + ".";
}

std::vector<std::string> demoAppPaths(const std::string& login)
{
    const MacPath home = MacPath("/Users").appendingPathComponent(login);
    std::vector<std::string> paths;
    paths.reserve(std::size(kApps) + 1);
    for (const DemoApp& app : kApps)
        paths.push_back(bundlePath(app, home).path());
    paths.push_back("/Applications/Veldo.app");
    return paths;
}

} // namespace veldo::demo
