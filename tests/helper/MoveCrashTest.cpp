// A helper killed (SIGKILL) after each step of a move: the item is never lost or doubled, and
// whatever is in flight is journaled for the next start.
#include <filesystem>

#include <signal.h>
#include <sys/wait.h>

#include "helper/HelperFaultPoints.h"
#include "tests/helper/MoverTestSupport.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using platform::MacPath;
namespace fs = std::filesystem;

class MoveCrash : public MoverTest
{
};

TEST_F(MoveCrash, KilledAfterEachStepLosesNothing)
{
    struct Step
    {
        const char* point;
        const char* place; // where the item is after the kill
        bool recorded;     // whether the ledger holds the move
    };
    const Step steps[] = {
        {"move.journaled", "original", false},      {"move.folderMade", "original", false},
        {"move.journaledAgain", "original", false}, {"move.bootedOut", "original", false},
        {"move.staged", "staged", false},           {"move.inventoried", "staged", false},
        {"move.renamed", "trash", false},           {"move.handedOver", "trash", false},
        {"move.recorded", "trash", true},           {"move.folderRemoved", "trash", true},
    };
    int n = 0;
    for (const auto& [point, place, recorded] : steps) {
        const std::string name = "Item" + std::to_string(++n);
        const MacPath source("/Library/Crash/" + name);
        mac.mkdir(source.appendingPathComponent("sub"));
        mac.write(source.appendingPathComponent("sub/marker"), name);

        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            testing::setFaultPoints(std::string(point) + ":kill");
            (void)mover.moveItems(source.path(), mac.home().path() + "/.Trash/" + name);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << point;

        // Where the item is now: exactly one place.
        std::vector<std::string> places;
        if (fs::exists(host(source)))
            places.push_back("original");
        if (fs::exists(trashHost(name)))
            places.push_back("trash");
        std::vector<std::string> stagingFolders;
        for (const auto& e : fs::directory_iterator(trashHost()))
            if (e.path().filename().string().starts_with(".Veldo Helper ")) {
                stagingFolders.push_back(e.path().filename().string());
                if (fs::exists(e.path() / "item"))
                    places.push_back("staged");
            }
        ASSERT_EQ(places.size(), 1u) << point;

        // Everything in flight is journaled: the record names any staging folder left.
        const auto records = journal().records().value();
        ASSERT_EQ(records.size(), 1u) << point;
        EXPECT_EQ(records[0].originalPath, source.path()) << point;
        for (const std::string& folder : stagingFolders) {
            EXPECT_EQ(records[0].stagingName, folder) << point;
        }
        EXPECT_EQ(places[0], place) << point;
        // The ledger holds the move once it was recorded.
        auto reloaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->records().size(), recorded ? 1u : 0u) << point;
        if (std::string_view(point) == "move.folderRemoved") {
            EXPECT_TRUE(stagingFolders.empty()) << point;
        }

        // Clean up for the next point.
        (void)journal().remove(records[0].id);
        for (const auto& record : reloaded->records())
            (void)reloaded->remove(record.id);
        for (const std::string& folder : stagingFolders)
            fs::remove_all(trashHost(folder));
        fs::remove_all(trashHost(name));
        fs::remove_all(host(source));
    }
}

TEST_F(MoveCrash, FailedJournalWriteOrPrivateFolderMovesNothing)
{
    mac.write("/Library/Kept/x.txt"_mac, "x");
    for (const char* guard : {"journal.write", "staging.folder"}) {
        testing::setFaultPoints(std::string(guard) + ":fail");
        const auto result =
            mover.moveItems("/Library/Kept/x.txt", mac.home().path() + "/.Trash/x.txt");
        testing::setFaultPoints("");
        EXPECT_EQ(result.outcome, common::VeldoHelperItemResult::Outcome::notHandled) << guard;
        EXPECT_EQ(result.reason, common::VeldoHelperItemResult::Reason::notManaged) << guard;
        EXPECT_EQ(result.message, "Veldo's helper couldn't prepare a private folder in your Trash.")
            << guard;
        EXPECT_TRUE(fs::exists(host("/Library/Kept/x.txt"_mac))) << guard;
        EXPECT_TRUE(journal().records().value().empty()) << guard;
        EXPECT_TRUE(fs::is_empty(trashHost())) << guard;
    }
}

} // namespace
} // namespace veldo::helper
