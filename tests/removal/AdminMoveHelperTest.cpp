// The administrator move's entry with the privileged helper: the fake helper daemon answers the
// move batch, the stand-in osascript moves what the helper left, and the results merge.
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CleanupSettings.h"
#include "app/removal/AdminMover.h"
#include "app/removal/PrivilegedHelper.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "common/HelperEndpoint.h"
#include "common/HelperReplyEnvelope.h"
#include "common/RemovalSafety.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "platform/Home.h"
#include "platform/MainBundle.h"
#include "platform/PlistValue.h"
#include "platform/UserDefaults.h"
#include "tests/removal/HelperMac.h"
#include "tests/support/FakeFileManager.h"
#include "tests/support/FakeHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/Unprivileged.h"

namespace AdminRemover = veldo::removal::AdminRemover;
using veldo::common::HelperReplyEnvelope;
using veldo::common::VeldoHelperItemResult;
using veldo::common::VeldoHelperReply;
using veldo::common::RemovalSafety::Context;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeFileManager;
using veldo::testsupport::FakeHelper;
using veldo::testsupport::FakeMac;
using veldo::testsupport::HelperMac;
using veldo::testsupport::result;
using veldo::testsupport::StandInOsascript;
using Outcome = VeldoHelperItemResult::Outcome;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> sources(const AdminRemover::MoveResult& result)
{
    std::vector<std::string> out;
    for (const auto& move : result.moved)
        out.push_back(move.source.path() + (move.movedByHelper ? " helper" : " script"));
    return out;
}

} // namespace

TEST(AdminMoveHelper, EveryAnswerOfTheHelperAndTheScriptOnWhatIsLeft)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    std::map<std::string, MacPath> item;
    for (const char* name :
         {"done", "doneNowhere", "missing", "failed", "failedSilently", "notHandled", "unanswered"})
        item[name] = h.mac.write(MacPath("/Library/Caches/").appendingPathComponent(name), name);

    auto done = result(item["done"], Outcome::done);
    done.destination = h.trash("done").path();
    done.ownerID = 0;
    done.groupID = 80;
    auto failed = result(item["failed"], Outcome::failed);
    failed.message = "The helper couldn't move it.";
    auto notHandled = result(item["notHandled"], Outcome::notHandled);
    notHandled.reason = VeldoHelperItemResult::Reason::notManaged;
    auto overridden = result(item["notHandled"], Outcome::failed); // the later result counts
    h.reply({overridden, done, result(item["doneNowhere"], Outcome::done),
             result(item["missing"], Outcome::missing), failed,
             result(item["failedSilently"], Outcome::failed), notHandled});

    const std::vector<MacPath> items{
        item["done"],       item["doneNowhere"], "/Library"_mac,
        item["missing"],    item["failed"],      item["failedSilently"],
        item["notHandled"], item["unanswered"],  "/Library/Caches/gone"_mac};
    const auto moved = AdminRemover::moveToTrash(items, h.context());

    EXPECT_EQ(sources(moved), (std::vector<std::string>{
                                  item["done"].path() + " helper",
                                  item["doneNowhere"].path() + " script",
                                  item["notHandled"].path() + " script",
                                  item["unanswered"].path() + " script",
                              }));
    ASSERT_FALSE(moved.moved.empty());
    EXPECT_EQ(moved.moved[0].destination, h.trash("done"));
    EXPECT_EQ(moved.moved[0].ownerID, 0u);
    EXPECT_EQ(moved.moved[0].groupID, 80u);
    EXPECT_FALSE(moved.moved[0].device.has_value());
    EXPECT_EQ(moved.failures,
              (std::map<std::string, std::string>{
                  {"/Library", veldo::common::removalRefusalMessage(
                                   *veldo::common::removalRefusal("/Library"_mac, h.context()))},
                  {item["failed"].path(), "The helper couldn't move it."},
                  {item["failedSilently"].path(), "The item couldn't be moved."},
              }));
    EXPECT_EQ(moved.missing,
              (std::set<std::string>{item["missing"].path(), "/Library/Caches/gone"}));
    EXPECT_FALSE(moved.wasCancelled);
    // The request held every item that exists and was not refused; the script the three left.
    EXPECT_EQ(h.moveRequests(), 1u);
    ASSERT_EQ(h.osascript.prompts().size(), 1u);
    EXPECT_EQ(h.osascript.prompts()[0],
              "Veldo needs an administrator password to move 3 items to your Trash.");
}

TEST(AdminMoveHelper, UnavailableSendsEverythingToTheScript)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    const MacPath a = h.mac.write("/Library/Caches/a"_mac, "a");
    const MacPath b = h.mac.write("/Library/Caches/b"_mac, "b");
    h.helper.setReply("moveToTrash",
                      *HelperReplyEnvelope::withError("Veldo's helper is busy.").encodeJSON());
    const auto moved = AdminRemover::moveToTrash({a, b}, h.context());
    EXPECT_EQ(sources(moved),
              (std::vector<std::string>{a.path() + " script", b.path() + " script"}));
    EXPECT_TRUE(moved.failures.empty());
    EXPECT_EQ(h.moveRequests(), 1u);
}

TEST(AdminMoveHelper, AnInterruptedBatchSendsNothingToTheScript)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    const MacPath stays = h.mac.write("/Library/Caches/stays"_mac, "s");
    const MacPath goes = h.mac.write("/Library/Caches/goes"_mac, "g");
    h.helper.setBehaviour("moveToTrash", "hang");
    std::stop_source stop;
    std::thread stopper([&] {
        // Once the helper holds the request, the item leaves and the call is stopped.
        for (int i = 0; i < 500 && h.moveRequests() == 0; ++i)
            std::this_thread::sleep_for(10ms);
        std::filesystem::remove(h.mac.host(goes));
        stop.request_stop();
    });
    const auto moved = AdminRemover::moveToTrash({stays, goes}, h.context(), stop.get_token());
    stopper.join();
    const std::string said(veldo::removal::PrivilegedHelper::kDidNotRespond);
    EXPECT_EQ(
        moved.failures,
        (std::map<std::string, std::string>{
            {stays.path(), said + " It was still in place afterwards; try again in a moment."},
            {goes.path(), said + " It may already be in the Trash; Undo can't put it back."},
        }));
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_TRUE(h.osascript.prompts().empty());
}

TEST(AdminMoveHelper, ItemsBeyondWhatTheLedgerKeepsForOneAccountGoThroughTheScript)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    // One more than the ledger keeps, and a last one the helper leaves over.
    const std::size_t count = veldo::common::kHelperRequestItemLimit + 1;
    std::vector<MacPath> items;
    std::vector<VeldoHelperItemResult> answers;
    const MacPath first = h.mac.write("/Library/Caches/Many/item 0"_mac, "x");
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = "item " + std::to_string(i);
        items.push_back(MacPath("/Library/Caches/Many").appendingPathComponent(name));
        if (i > 0)
            h.mac.hardlink(first, items.back()); // faster than as many new files
        auto done = result(items.back(), Outcome::done);
        done.destination = h.trash(name).path();
        answers.push_back(done);
    }
    answers[count - 2].outcome = Outcome::notHandled;
    answers[count - 2].destination.reset();
    answers[count - 2].reason = VeldoHelperItemResult::Reason::notManaged;
    h.reply(answers);
    const auto moved = AdminRemover::moveToTrash(items, h.context());
    EXPECT_EQ(h.itemsPerRequest("moveToTrash"), (std::vector<std::size_t>{count - 1}));
    ASSERT_EQ(moved.moved.size(), count);
    const auto all = sources(moved);
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
              (std::vector<std::string>{items[count - 3].path() + " helper",
                                        items[count - 2].path() + " script",
                                        items[count - 1].path() + " script"}));
    EXPECT_TRUE(moved.failures.empty());
    EXPECT_EQ(h.osascript.prompts(),
              std::vector<std::string>{
                  "Veldo needs an administrator password to move 2 items to your Trash."});
    EXPECT_TRUE(std::filesystem::exists(h.mac.host(h.trash("item " + std::to_string(count - 1)))));
}

TEST(AdminMoveHelper, NoHelperCallForRefusedOrMissingItemsOrWhenNotUsable)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    auto moved =
        AdminRemover::moveToTrash({"/Library"_mac, "/Library/Caches/gone"_mac}, h.context());
    EXPECT_EQ(moved.failures.size(), 1u);
    EXPECT_EQ(moved.missing, std::set<std::string>{"/Library/Caches/gone"});
    moved = AdminRemover::moveToTrash({}, h.context());
    EXPECT_EQ(moved, AdminRemover::MoveResult{});
    EXPECT_EQ(h.moveRequests(), 0u);
    EXPECT_TRUE(h.osascript.prompts().empty());

    // The setting off: the script alone.
    (void)veldo::platform::UserDefaults::standard()->setBool(
        veldo::core::CleanupSettings::kUsePrivilegedHelperKey, false);
    const MacPath a = h.mac.write("/Library/Caches/a"_mac, "a");
    moved = AdminRemover::moveToTrash({a}, h.context());
    EXPECT_EQ(sources(moved), std::vector<std::string>{a.path() + " script"});
    EXPECT_EQ(h.moveRequests(), 0u);
}

TEST(AdminMoveHelper, AnItemThatCantBeReadIsNeverTakenForMissing)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    veldo::testsupport::FakeFileManager files;
    const MacPath hidden = h.mac.write("/Library/Caches/hidden"_mac, "h");
    files.injectFailure(FakeFileManager::Call::attributes, hidden,
                        veldo::platform::SystemError(veldo::platform::ErrorDomain::cocoa, 257,
                                                     "“hidden” couldn’t be opened.",
                                                     veldo::platform::SystemError::posix(EACCES)));
    h.helper.setBehaviour("moveToTrash", "close");
    const auto moved = AdminRemover::moveToTrash({hidden}, h.context());
    // The helper was asked, and after the lost answer the item counts as still in place.
    ASSERT_EQ(h.moveRequests(), 1u);
    EXPECT_TRUE(moved.missing.empty());
    EXPECT_EQ(moved.failures.at(hidden.path()),
              std::string(veldo::removal::PrivilegedHelper::kDidNotRespond) +
                  " It was still in place afterwards; try again in a moment.");
}

// An item in a folder only root may open: the helper leaves it to the password (it can't prove
// the way for the account), and the script, which can't look inside either, refuses it before
// any dialog. What the user reads names the folder and what can go instead.
TEST(AdminMoveHelper, AnItemInAFolderOnlyRootOpensKeepsTheSentenceThatSaysWhy)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    if (!veldo::testsupport::unprivilegedCanSearch(h.mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    const uid_t uid = veldo::testsupport::unprivilegedUid();
    const auto home = veldo::platform::homeDirectoryForUser(uid);
    ASSERT_TRUE(home);
    h.mac.mkdir(*home, 0755);
    const MacPath trash = h.mac.mkdir(home->appendingPathComponent(".Trash"), 0700);
    for (const MacPath& own : {*home, trash})
        ASSERT_EQ(::chown(h.mac.host(own).c_str(), uid, veldo::testsupport::unprivilegedGid()), 0);
    h.mac.mkdir("/Library/Application Support/x"_mac, 0700);
    const MacPath item = h.mac.write("/Library/Application Support/x/data"_mac, "x");
    auto closed = result(item, Outcome::notHandled);
    closed.message = "A folder on the way to this item is closed to your account, so moving it "
                     "needs your password.";
    h.reply({closed});
    const Context context{*home, {"/Applications/Veldo.app"_mac}, {}, false};
    const std::string expected = "The folder “x” around this item is open only to the system, so "
                                 "Veldo can't check the item inside it. You can remove the whole "
                                 "folder instead.";

    for (const bool usable : {true, false}) {
        SCOPED_TRACE(usable ? "helper usable" : "helper not usable");
        (void)veldo::platform::UserDefaults::standard()->setBool(
            veldo::core::CleanupSettings::kUsePrivilegedHelperKey, usable);
        const std::size_t asked = h.moveRequests();
        const int rc = veldo::testsupport::runUnprivileged([&] {
            const auto moved = AdminRemover::moveToTrash({item}, context);
            if (!moved.moved.empty() || !moved.missing.empty() || moved.failures.size() != 1)
                return 2;
            return moved.failures.at(item.path()) == expected ? 0 : 3;
        });
        EXPECT_EQ(rc, 0) << "2: not one failure; 3: not the closed folder's sentence";
        EXPECT_EQ(h.moveRequests(), asked + (usable ? 1 : 0));
        EXPECT_TRUE(h.osascript.prompts().empty());
        EXPECT_TRUE(std::filesystem::exists(h.mac.host(item)));
    }
}
