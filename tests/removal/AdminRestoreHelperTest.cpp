// The administrator restore's entry with the privileged helper: the fake helper daemon answers
// the restore batch, the script restore gets only the points the script moved, and the results
// merge.
#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/removal/AdminRestorer.h"
#include "app/removal/PrivilegedHelper.h"
#include "platform/SystemError.h"
#include "tests/removal/HelperMac.h"
#include "tests/support/FakeFileManager.h"

namespace AdminRemover = veldo::removal::AdminRemover;
using veldo::common::VeldoHelperItemResult;
using veldo::platform::MacPath;
using veldo::removal::RestorePoint;
using veldo::testsupport::FakeFileManager;
using veldo::testsupport::HelperMac;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;
using namespace veldo::testsupport::literals;

namespace {

constexpr const char* kTryAgain =
    "Veldo's helper couldn't put this back right now; it's still in the Trash. Try Undo again.";

RestorePoint point(const HelperMac& h, const std::string& name, bool byHelper)
{
    RestorePoint p;
    p.item.url = MacPath("/Library/Caches/").appendingPathComponent(name);
    p.trashURL = h.trash(name);
    p.needsAdmin = true;
    p.movedByHelper = byHelper;
    return p;
}

// A script restore that records the points it was given and answers `answer`.
struct RecordingScript
{
    AdminRemover::RestoreResult answer;
    std::vector<std::vector<RestorePoint>> calls;

    AdminRemover::ScriptRestore function()
    {
        return [this](const std::vector<RestorePoint>& points) {
            calls.push_back(points);
            return answer;
        };
    }
};

std::size_t restoreRequests(const HelperMac& h)
{
    std::size_t n = 0;
    for (const auto& line : h.helper.requests())
        n += line.starts_with("restore ") ? 1 : 0;
    return n;
}

} // namespace

TEST(AdminRestoreHelper, EveryHelperAnswerAndTheMergeWithTheScript)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    const struct
    {
        const char* name;
        Outcome outcome;
        std::optional<Reason> reason;
        std::optional<std::string> message;
        std::string sentence; // empty: restored
    } cases[] = {
        {"done", Outcome::done, {}, {}, ""},
        {"missing", Outcome::missing, {}, {}, "It's no longer in the Trash."},
        {"failed", Outcome::failed, {}, "The helper said no.", "The helper said no."},
        {"failedSilently", Outcome::failed, {}, {}, "It couldn't be put back."},
        {"notManaged", Outcome::notHandled, Reason::notManaged, "Not mine.",
         "Not mine. Try Undo again."},
        {"notManagedSilently", Outcome::notHandled, Reason::notManaged, {}, kTryAgain},
        {"stopped", Outcome::notHandled, Reason::stopped, "Stopping.", "Stopping. Try Undo again."},
        {"stoppedSilently", Outcome::notHandled, Reason::stopped, {}, kTryAgain},
        {"changed", Outcome::notHandled, Reason::changed, "It changed.", "It changed."},
        {"unsafeSilently",
         Outcome::notHandled,
         Reason::unsafePath,
         {},
         "Veldo's helper couldn't verify this item, so it wasn't put back."},
        {"noReason", Outcome::notHandled, {}, "No reason.", "No reason."},
        {"noReasonSilently",
         Outcome::notHandled,
         {},
         {},
         "Veldo's helper couldn't verify this item, so it wasn't put back."},
    };
    std::vector<RestorePoint> points;
    std::vector<VeldoHelperItemResult> answers;
    std::vector<std::string> restored;
    std::map<std::string, std::string> failures;
    for (const auto& c : cases) {
        points.push_back(point(h, c.name, true));
        VeldoHelperItemResult answer = veldo::testsupport::result(h.trash(c.name), c.outcome);
        answer.reason = c.reason;
        answer.message = c.message;
        answers.push_back(answer);
        if (c.sentence.empty())
            restored.push_back(points.back().item.url.path());
        else
            failures[points.back().item.url.path()] = c.sentence;
    }
    // The helper's own mark keeps a failed point for another Undo.
    points.push_back(point(h, "marked", true));
    VeldoHelperItemResult marked = veldo::testsupport::result(h.trash("marked"), Outcome::failed);
    marked.message = "Stopped while checking it. Try Undo again.";
    marked.retryable = true;
    answers.push_back(marked);
    failures[points.back().item.url.path()] = *marked.message;
    // No result: left over. A later result for the same path counts.
    points.push_back(point(h, "unanswered", true));
    failures[points.back().item.url.path()] = kTryAgain;
    std::set<std::string> retryable;
    for (const char* name :
         {"notManaged", "notManagedSilently", "stopped", "stoppedSilently", "marked", "unanswered"})
        retryable.insert("/Library/Caches/" + std::string(name));
    answers.insert(answers.begin(), veldo::testsupport::result(h.trash("done"), Outcome::failed));
    h.reply(answers, "restore");
    // Script points in between, and one whose path the helper also failed.
    const RestorePoint scriptA = point(h, "scriptA", false);
    const RestorePoint scriptB = point(h, "missing", false);
    points.insert(points.begin() + 1, scriptA);
    points.push_back(scriptB);
    RecordingScript script;
    script.answer.restoredIDs = {scriptA.item.url.path()};
    script.answer.failures = {{scriptB.item.url.path(), "The script's sentence."}};
    failures[scriptB.item.url.path()] = "The script's sentence.";
    restored.push_back(scriptA.item.url.path());

    const auto result = AdminRemover::restore(points, script.function());
    EXPECT_EQ(result.restoredIDs, restored);
    EXPECT_EQ(result.failures, failures);
    EXPECT_EQ(result.retryableIDs, retryable);
    EXPECT_FALSE(result.wasCancelled);
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0], (std::vector<RestorePoint>{scriptA, scriptB}));
    EXPECT_EQ(restoreRequests(h), 1u);
}

TEST(AdminRestoreHelper, HelperPointsNeverReachTheScript)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    const std::vector<RestorePoint> points{point(h, "a", true), point(h, "b", true)};
    const std::map<std::string, std::string> tryAgain{{"/Library/Caches/a", kTryAgain},
                                                      {"/Library/Caches/b", kTryAgain}};
    RecordingScript script;
    script.answer.wasCancelled = true;

    // The helper's answer is an error: every point left over.
    h.helper.setReply("restore",
                      *veldo::common::HelperReplyEnvelope::withError("Busy.").encodeJSON());
    auto result = AdminRemover::restore(points, script.function());
    EXPECT_EQ(result.failures, tryAgain);
    EXPECT_EQ(result.retryableIDs,
              (std::set<std::string>{"/Library/Caches/a", "/Library/Caches/b"}));
    EXPECT_EQ(restoreRequests(h), 1u);

    // The helper switched off: not asked at all.
    (void)veldo::platform::UserDefaults::standard()->setBool(
        veldo::core::CleanupSettings::kUsePrivilegedHelperKey, false);
    result = AdminRemover::restore(points, script.function());
    EXPECT_EQ(result.failures, tryAgain);
    EXPECT_TRUE(result.restoredIDs.empty());
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_EQ(restoreRequests(h), 1u);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_TRUE(h.osascript.prompts().empty());
    EXPECT_EQ(AdminRemover::restore({}, script.function()), AdminRemover::RestoreResult{});
}

TEST(AdminRestoreHelper, MorePointsThanTheHelperServesInOneGoInSeveralRequests)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    const std::size_t count = veldo::common::kHelperRequestItemLimit + 1;
    std::vector<RestorePoint> points;
    std::vector<VeldoHelperItemResult> answers;
    for (std::size_t i = 0; i < count; ++i) {
        points.push_back(point(h, "item " + std::to_string(i), true));
        answers.push_back(veldo::testsupport::result(points.back().trashURL, Outcome::done));
    }
    // The fake answers every request with all the results; each takes its own.
    h.reply(answers, "restore");
    RecordingScript script;
    auto result = AdminRemover::restore(points, script.function());
    EXPECT_EQ(h.itemsPerRequest("restore"), (std::vector<std::size_t>{count - 1, 1}));
    EXPECT_EQ(result.restoredIDs.size(), count);
    EXPECT_TRUE(result.failures.empty());

    // Once one request is lost, the rest are not sent: their points wait for another Undo.
    h.helper.setBehaviour("restore", "close");
    result = AdminRemover::restore(points, script.function());
    EXPECT_EQ(restoreRequests(h), 3u);
    EXPECT_EQ(result.failures.size(), count);
    EXPECT_EQ(result.retryableIDs.size(), count);
    EXPECT_EQ(result.failures.at(points.back().item.url.path()),
              std::string(veldo::removal::PrivilegedHelper::kDidNotRespond) +
                  " Try Undo again in a moment.");
    EXPECT_TRUE(script.calls.empty());
}

TEST(AdminRestoreHelper, AfterALostAnswerOnlyAnItemBackAndGoneFromTheTrashCounts)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    HelperMac h;
    FakeFileManager files;
    const RestorePoint back = point(h, "back", true);
    h.mac.write(back.item.url, "b");
    const RestorePoint stillInTrash = point(h, "stillInTrash", true);
    h.mac.write(stillInTrash.trashURL, "s");
    const RestorePoint unreadable = point(h, "unreadable", true);
    h.mac.write(unreadable.item.url, "u");
    files.injectFailure(FakeFileManager::Call::attributes, unreadable.trashURL,
                        veldo::platform::SystemError(veldo::platform::ErrorDomain::cocoa, 257,
                                                     "“unreadable” couldn’t be opened.",
                                                     veldo::platform::SystemError::posix(EACCES)));
    h.helper.setBehaviour("restore", "close");
    RecordingScript script;

    const auto result = AdminRemover::restore({back, stillInTrash, unreadable}, script.function());
    ASSERT_EQ(restoreRequests(h), 1u);
    EXPECT_EQ(result.restoredIDs, std::vector<std::string>{back.item.url.path()});
    ASSERT_EQ(result.failures.size(), 2u);
    for (const RestorePoint& p : {stillInTrash, unreadable}) {
        EXPECT_TRUE(result.retryableIDs.contains(p.item.url.path()));
        const std::string& sentence = result.failures.at(p.item.url.path());
        EXPECT_TRUE(sentence.ends_with(". Try Undo again in a moment.")) << sentence;
        EXPECT_GT(sentence.size(), std::string(" Try Undo again in a moment.").size());
    }
}
