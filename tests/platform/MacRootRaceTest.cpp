// Calls by Mac path while a folder of the Mac keeps turning into a link to a folder outside it:
// none of them may read, describe, list, write or move anything out there.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/AtomicFile.h"
#include "platform/LinuxFileManager.h"
#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/RootRacer.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using veldo::testsupport::RootRacer;
using namespace veldo::testsupport::literals;

namespace {

constexpr int kRounds = 10'000;

std::string plistSaying(const std::string& where)
{
    return serializePropertyList(PlistValue(PlistValue::Dictionary{{"Where", PlistValue(where)}}),
                                 PlistFormat::xml)
        .value();
}

} // namespace

TEST(MacRootRace, NoCallLeavesTheRootWhileAFolderTurnsIntoALink)
{
    FakeMac mac(FakeMac::Storage::memory);
    mac.write("/Users/Shared/d/file"_mac, "real");
    mac.mkdir("/Users/Shared/d/sub/inner"_mac);
    mac.write("/Users/Shared/d/info.plist"_mac, plistSaying("real"));
    mac.write("/Users/Shared/d/tool"_mac, "#!/bin/sh\n", 0644);
    RootRacer racer(mac, "/Users/Shared/d"_mac);
    // The canary holds the same names with other contents.
    racer.writeCanary("file", "canary");
    racer.writeCanary("sub/canary-entry", "canary");
    racer.writeCanary("info.plist", plistSaying("canary"));
    racer.writeCanary("tool", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((racer.canary() + "/tool").c_str(), 0755), 0);
    struct stat canaryFile = {};
    ASSERT_EQ(::stat((racer.canary() + "/file").c_str(), &canaryFile), 0);

    struct Call
    {
        std::string name;
        std::function<bool()> escaped;
    };
    const std::vector<Call> calls = {
        {"readFile",
         [] {
             auto bytes = readFile("/Users/Shared/d/file"_mac, 100);
             return bytes && *bytes == "canary";
         }},
        {"fileStatus",
         [&] {
             auto st = fileStatus("/Users/Shared/d/file"_mac, FollowLinks::yes);
             return st && st->inode == canaryFile.st_ino && st->device == canaryFile.st_dev;
         }},
        {"listDirectory",
         [] {
             auto names = listDirectory("/Users/Shared/d/sub"_mac);
             return names &&
                    std::find(names->begin(), names->end(), "canary-entry") != names->end();
         }},
        {"readPropertyListFile",
         [] {
             auto value = readPropertyListFile("/Users/Shared/d/info.plist"_mac);
             return value && value->stringFor("Where") == "canary";
         }},
        {"writeFileAtomically",
         [&] {
             (void)writeFileAtomically("/Users/Shared/d/made/new.json"_mac, "x", {0644, true});
             (void)writeFileAtomically("/Users/Shared/d/new.json"_mac, "x");
             return racer.takeNewCanaryEntries() > 0;
         }},
        {"isExecutable", [] { return isExecutable("/Users/Shared/d/tool"_mac); }},
    };

    std::map<std::string, int> escapes;
    racer.start();
    for (int round = 0; round < kRounds; ++round) {
        for (const Call& call : calls) {
            if (call.escaped())
                ++escapes[call.name];
        }
    }
    racer.stop();

    EXPECT_GT(racer.swaps(), 0u);
    for (const Call& call : calls)
        EXPECT_EQ(escapes[call.name], 0) << call.name << " escaped in " << kRounds << " calls";
    // With the folder in place again the same calls see the Mac's own files.
    EXPECT_EQ(readFile("/Users/Shared/d/file"_mac, 100).value_or(""), "real");
    EXPECT_EQ(readPropertyListFile("/Users/Shared/d/info.plist"_mac)->stringFor("Where"), "real");
    EXPECT_EQ(listDirectory("/Users/Shared/d/sub"_mac).value_or(std::vector<std::string>{}),
              std::vector<std::string>{"inner"});
}

TEST(MacRootRace, TheFileManagerNeverMakesOrMovesAnythingOutsideTheRoot)
{
    constexpr int kMoves = 1'000;
    FakeMac mac(FakeMac::Storage::memory);
    for (int round = 0; round < kMoves; ++round)
        mac.write(MacPath("/Users/Shared/d/victim-" + std::to_string(round)), "real");
    RootRacer racer(mac, "/Users/Shared/d"_mac);
    for (int round = 0; round < kMoves; ++round)
        racer.writeCanary("victim-" + std::to_string(round), "canary");
    LinuxFileManager files;
    int round = 0; // the round the calls run in

    struct Call
    {
        std::string name;
        std::function<bool()> escaped;
    };
    const std::vector<Call> calls = {
        {"createDirectory",
         [&] {
             (void)files.createDirectory(MacPath("/Users/Shared/d/made-" + std::to_string(round)),
                                         false);
             return racer.takeNewCanaryEntries() > 0;
         }},
        {"trashItem",
         [&] {
             const std::string name = "victim-" + std::to_string(round);
             (void)files.trashItem(MacPath("/Users/Shared/d/" + name));
             return ::access((racer.canary() + "/" + name).c_str(), F_OK) != 0;
         }},
    };

    std::map<std::string, int> escapes;
    int moved = 0;
    racer.start();
    for (round = 0; round < kMoves; ++round) {
        for (const Call& call : calls) {
            if (call.escaped())
                ++escapes[call.name];
        }
    }
    racer.stop();
    for (round = 0; round < kMoves; ++round) {
        if (!exists(MacPath("/Users/Shared/d/victim-" + std::to_string(round))))
            ++moved;
    }

    EXPECT_GT(racer.swaps(), 0u);
    EXPECT_GT(moved, 0); // the calls did act inside the root
    for (const Call& call : calls)
        EXPECT_EQ(escapes[call.name], 0) << call.name << " escaped in " << kMoves << " calls";
}
