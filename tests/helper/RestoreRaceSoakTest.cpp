// Many moves and put-backs while the caller races them, swapping the items' parent folder and the
// Trash with links to a canary outside the fake Mac: every item ends exactly once where its last
// answer says, and nothing outside is touched. VELDO_SOAK_OPERATIONS sets the number of
// operations (1,000 by default).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "base/RawValue.h"
#include "tests/helper/Canary.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::VeldoHelperItemResult;
using platform::MacPath;
using Outcome = VeldoHelperItemResult::Outcome;
namespace fs = std::filesystem;

class RestoreRaceSoak : public MoverTest
{
};

TEST_F(RestoreRaceSoak, ItemsEndWhereTheirLastAnswerSaysAndTheCanaryIsUntouched)
{
    auto user = veldo::testsupport::TestUser::make();
    if (!user)
        GTEST_SKIP() << "no test user could be made";
    const Canary canary;
    const MacPath home = user->homeIn(mac);
    mover.caller = HelperCaller{user->uid(), user->gid(), home, {}};
    const MacPath caches = home.appendingPathComponent("Library/Caches");
    const MacPath soak = caches.appendingPathComponent("Soak");
    mac.mkdir(soak);
    for (const MacPath& p : {home.appendingPathComponent("Library"), caches, soak})
        chownHost(p, user->uid(), user->gid());
    const std::string homeHost = host(home);
    const std::string cachesHost = host(caches);
    ASSERT_EQ(::symlink(canary.relativeTarget().c_str(), (cachesHost + "/SoakLink").c_str()), 0);
    ASSERT_EQ(::symlink(canary.relativeTarget().c_str(), (homeHost + "/TrashLink").c_str()), 0);
    ::lchown((cachesHost + "/SoakLink").c_str(), user->uid(), user->gid());
    ::lchown((homeHost + "/TrashLink").c_str(), user->uid(), user->gid());

    const char* configured = std::getenv("VELDO_SOAK_OPERATIONS");
    const int operations = configured ? std::max(2, std::atoi(configured)) : 1000;
    enum class Place
    {
        original,        // at its original path
        trashRecorded,   // in the Trash with a ledger record (at `trashPath` after the move)
        trashUnrecorded, // in the Trash without one
    };
    struct Item
    {
        std::string original;
        std::string trashName;
        ino_t inode = 0;
        std::string trashPath;
        Place place = Place::original;
    };
    std::vector<Item> all(std::max(1, operations / 4));
    for (std::size_t i = 0; i < all.size(); ++i) {
        Item& item = all[i];
        item.original = soak.path() + "/item" + std::to_string(i);
        item.trashName = "item" + std::to_string(i);
        mac.write(MacPath(item.original), "soak " + std::to_string(i));
        chownHost(MacPath(item.original), user->uid(), user->gid());
        struct stat st
        {
        };
        ::lstat(host(MacPath(item.original)).c_str(), &st);
        item.inode = st.st_ino;
    }

    // The racer: the caller, swapping the parent folder and the Trash with links to the canary.
    // Operations alternate between stretches with the racer running and calm stretches in which
    // it has put every name back, so that both refusals and completed moves occur under load.
    constexpr int kRace = 0, kCalm = 1, kStop = 2;
    auto* shared = static_cast<std::atomic<int>*>(::mmap(nullptr, 2 * sizeof(std::atomic<int>),
                                                         PROT_READ | PROT_WRITE,
                                                         MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(shared, MAP_FAILED);
    std::atomic<int>* mode = new (shared) std::atomic<int>(kRace);
    std::atomic<int>* calm = new (shared + 1) std::atomic<int>(0);
    auto racer = std::async(std::launch::async, [&] {
        return user->run([&] {
            const int cachesFd = ::open(cachesHost.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            const int homeFd = ::open(homeHost.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            bool soakSwapped = false;
            bool trashSwapped = false;
            auto swapSoak = [&] {
                if (::renameat2(cachesFd, "Soak", cachesFd, "SoakLink", RENAME_EXCHANGE) == 0)
                    soakSwapped = !soakSwapped;
            };
            auto swapTrash = [&] {
                if (::renameat2(homeFd, ".Trash", homeFd, "TrashLink", RENAME_EXCHANGE) == 0)
                    trashSwapped = !trashSwapped;
            };
            while (mode->load() != kStop) {
                if (mode->load() == kCalm) {
                    if (soakSwapped)
                        swapSoak();
                    if (trashSwapped)
                        swapTrash();
                    calm->store(!soakSwapped && !trashSwapped ? 1 : 0);
                    ::usleep(50);
                    continue;
                }
                calm->store(0);
                swapSoak();
                swapTrash();
            }
            return 0;
        });
    });
    auto setMode = [&](int next) {
        if (mode->load() == next)
            return;
        calm->store(0);
        mode->store(next);
        for (int wait = 0; next == kCalm && calm->load() == 0 && wait < 20'000; ++wait)
            ::usleep(100);
    };

    std::map<std::string, int> counts;
    auto count = [&](const std::string& op, const VeldoHelperItemResult& r) {
        counts[op + " " + std::string(base::rawValue(r.outcome)) + " " + r.message.value_or("")] +=
            1;
    };
    const std::string inTrashSentence =
        "Veldo's helper couldn't put it back where it was; it is in the Trash, but Undo can't put "
        "it back.";
    int moves = 0, done = 0, refused = 0, performed = 0;
    while (performed < operations) {
        bool acted = false;
        for (Item& item : all) {
            if (performed >= operations)
                break;
            setMode((performed / 10) % 2 == 0 ? kRace : kCalm);
            if (item.place == Place::original) {
                const auto r =
                    mover.moveItems(item.original, home.path() + "/.Trash/" + item.trashName);
                count("move", r);
                ++moves;
                if (r.outcome == Outcome::done) {
                    item.place = Place::trashRecorded;
                    item.trashPath = *r.destination;
                    ++done;
                } else if (r.message &&
                           r.message->find("it is in the Trash") != std::string::npos) {
                    item.place = Place::trashUnrecorded;
                } else {
                    ++refused;
                }
            } else if (item.place == Place::trashRecorded) {
                const auto r = mover.restoreItems(item.trashPath, item.original);
                count("restore", r);
                if (r.outcome == Outcome::done)
                    item.place = Place::original;
            } else {
                continue;
            }
            ++performed;
            acted = true;
        }
        if (!acted)
            break;
    }

    mode->store(kStop);
    EXPECT_EQ(racer.get(), 0);
    ::munmap(shared, 2 * sizeof(std::atomic<int>));
    for (const auto& [folder, name, link] :
         {std::tuple{cachesHost, std::string("Soak"), std::string("SoakLink")},
          std::tuple{homeHost, std::string(".Trash"), std::string("TrashLink")}}) {
        if (fs::is_symlink(folder + "/" + name)) {
            ASSERT_EQ(::renameat2(AT_FDCWD, (folder + "/" + name).c_str(), AT_FDCWD,
                                  (folder + "/" + link).c_str(), RENAME_EXCHANGE),
                      0);
        }
    }

    for (const auto& [what, n] : counts)
        std::printf("%6d  %s\n", n, what.c_str());
    EXPECT_TRUE(canary.unchanged());
    EXPECT_TRUE(journal().records().value().empty());
    for (const auto& e : fs::directory_iterator(host(home) + "/.Trash"))
        EXPECT_FALSE(e.path().filename().string().starts_with(".Veldo Helper ")) << e.path();
    auto inodeAt = [](const std::string& path) -> ino_t {
        struct stat st
        {
        };
        return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    std::map<ino_t, int> trashInodes;
    for (const auto& e : fs::directory_iterator(host(home) + "/.Trash"))
        trashInodes[inodeAt(e.path().string())] += 1;
    for (const Item& item : all) {
        const bool atOriginal = inodeAt(host(MacPath(item.original))) == item.inode;
        const int inTrash = trashInodes.contains(item.inode) ? trashInodes[item.inode] : 0;
        EXPECT_EQ(int(atOriginal) + inTrash, 1) << item.original;
        EXPECT_EQ(atOriginal, item.place == Place::original) << item.original;
        if (!item.trashPath.empty()) {
            EXPECT_EQ(ledger->record(item.trashPath, user->uid()).has_value(),
                      item.place == Place::trashRecorded)
                << item.original;
        }
    }
    std::printf("%d operations, %d moves: %d done, %d refused\n", performed, moves, done, refused);
    EXPECT_GE(done * 10, moves);
    EXPECT_GE(refused * 10, moves);
}

} // namespace
} // namespace veldo::helper
