// veldo-demo-mac ROOT [--user LOGIN] [--osascript PROGRAM] [--extra-apps N]
//
// Makes a demo Mac in ROOT (an empty or missing folder, or an earlier demo, which is replaced).
// As root, --user names the login whose home the demo fills and who gets it; otherwise the demo
// is the running user's. The stand-in osascript built alongside is installed unless --osascript
// names another program ("" for none).
#include <cstdio>
#include <cstdlib>
#include <string>

#include <pwd.h>
#include <unistd.h>

#include <QGuiApplication>

#include "demo/DemoMac.h"

namespace {

int usage()
{
    std::fprintf(stderr, "Usage: veldo-demo-mac ROOT [--user LOGIN] [--osascript PROGRAM] "
                         "[--extra-apps N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace veldo::demo;
    DemoOptions options;
    options.standInsFolder = VELDO_STAND_INS_DIR;
    options.osascriptProgram = VELDO_OSASCRIPT_STAND_IN;
    options.appProgram = VELDO_DEMO_APP_PROGRAM;
    std::string user;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--user" || argument == "--osascript" || argument == "--extra-apps") &&
            i + 1 < argc) {
            const std::string value = argv[++i];
            if (argument == "--user")
                user = value;
            else if (argument == "--osascript")
                options.osascriptProgram = value;
            else
                options.extraApps = std::atoi(value.c_str());
        } else if (!argument.starts_with("--") && options.root.empty()) {
            options.root = argument;
        } else {
            return usage();
        }
    }
    if (options.root.empty() || options.extraApps < 0)
        return usage();

    const passwd* self = ::getpwuid(::getuid()); // NOLINT(concurrency-mt-unsafe): one thread
    if (user.empty() && self)
        user = self->pw_name;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): one thread
    const passwd* owner = user.empty() ? nullptr : ::getpwnam(user.c_str());
    if (!owner) {
        std::fprintf(stderr, "There is no user “%s” on this machine.\n", user.c_str());
        return 2;
    }
    if (::geteuid() == 0) {
        options.ownerUid = owner->pw_uid;
        options.ownerGid = owner->pw_gid;
    } else if (owner->pw_uid != ::getuid()) {
        std::fprintf(stderr, "Only root can make a demo Mac for another user.\n");
        return 2;
    }
    options.login = owner->pw_name;

    if (const auto refusal = refusalFor(options.root)) {
        std::fprintf(stderr, "%s\n", refusal->c_str());
        return 2;
    }
    if (::access((options.root + "/" + kDemoMarkerName).c_str(), F_OK) != 0) {
        // Empty or missing: nothing to replace.
    } else if (auto removed = removeEarlierDemo(options.root); !removed) {
        std::fprintf(stderr, "The earlier demo Mac could not be removed: %s\n",
                     failureSentence(removed.error()).c_str());
        return 1;
    }

    // The icons' letters are drawn with the system's fonts; no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto made = generateDemoMac(options);
    if (!made) {
        std::fprintf(stderr, "%s\n", failureSentence(made.error()).c_str());
        return 1;
    }
    std::printf("Made a demo Mac in %s: %d apps, %d leftovers, %d orphaned items, %d developer "
                "caches; home /Users/%s.\n",
                options.root.c_str(), made->apps, static_cast<int>(made->leftovers.size()),
                static_cast<int>(made->orphans.size()),
                static_cast<int>(made->developerCaches.size()), options.login.c_str());
    return 0;
}
