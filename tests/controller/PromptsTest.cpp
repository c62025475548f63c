// The removal prompts: one pending request per kind, answered exactly once, resumed on a later
// turn of the event loop.
#include <QSignalSpy>

#include "tests/controller/ControllerFixture.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;

class Prompts : public ControllerFixture
{
};

template <typename T>
Task<> awaitAnswer(TaskScope&, Task<T> prompt, std::optional<T>* answer)
{
    *answer = co_await prompt;
}

TEST_F(Prompts, BackToBackRequestsAnswerTheFirstWithFalse)
{
    auto controller = makeController();
    std::optional<bool> first;
    std::optional<bool> second;
    // The continuation is stored before the request appears.
    int requestsWithoutContinuation = 0;
    QObject::connect(controller.get(), &UninstallViewModel::pendingAdminEscalationChanged,
                     [&, c = controller.get()] {
                         if (c->pendingAdminEscalation() && !c->adminEscalationContinuation())
                             ++requestsWithoutContinuation;
                     });
    awaitAnswer(controller->taskScope(),
                controller->requestAdminConfirmation({item("/Library/A")}, false), &first)
        .detach();
    ASSERT_TRUE(controller->pendingAdminEscalation());
    ASSERT_TRUE(controller->adminEscalationContinuation());
    const QUuid firstID = controller->pendingAdminEscalation()->id;

    awaitAnswer(controller->taskScope(),
                controller->requestAdminConfirmation({item("/Library/B")}, true), &second)
        .detach();
    ASSERT_TRUE(controller->pendingAdminEscalation());
    EXPECT_NE(controller->pendingAdminEscalation()->id, firstID);
    EXPECT_TRUE(controller->pendingAdminEscalation()->usesHelper);
    EXPECT_EQ(controller->pendingAdminEscalation()->items[0].id(), "/Library/B");
    ASSERT_TRUE(waitFor([&] { return first.has_value(); }));
    EXPECT_FALSE(*first);
    EXPECT_FALSE(second);

    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(waitFor([&] { return second.has_value(); }));
    EXPECT_TRUE(*second);
    EXPECT_EQ(requestsWithoutContinuation, 0);
}

TEST_F(Prompts, AnAnswerResumesOnceAndOnlyAfterResolveReturned)
{
    auto controller = makeController();
    std::optional<AppManagementChoice> choice;
    awaitAnswer(controller->taskScope(),
                controller->requestAppManagementDecision({item("/Applications/A.app")}, false),
                &choice)
        .detach();
    QSignalSpy prompt(controller.get(), &UninstallViewModel::pendingAppManagementPromptChanged);
    controller->resolveAppManagementPrompt(AppManagementChoice::useAdministrator);
    EXPECT_FALSE(controller->pendingAppManagementPrompt());
    EXPECT_FALSE(controller->appManagementContinuation());
    EXPECT_EQ(prompt.count(), 1);
    EXPECT_FALSE(choice); // not resumed inside the answer's handler

    controller->resolveAppManagementPrompt(AppManagementChoice::cancel);
    ASSERT_TRUE(waitFor([&] { return choice.has_value(); }));
    EXPECT_EQ(*choice, AppManagementChoice::useAdministrator);
    for (int i = 0; i < 5; ++i)
        processEvents();
    EXPECT_EQ(*choice, AppManagementChoice::useAdministrator);
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);

    // An answer when nothing is asked clears the request and resumes nothing.
    controller->resolveAdminEscalation(true);
    EXPECT_FALSE(controller->pendingAdminEscalation());
}

TEST_F(Prompts, TheTwoPromptKindsAreIndependent)
{
    auto controller = makeController();
    std::optional<bool> admin;
    std::optional<AppManagementChoice> management;
    awaitAnswer(controller->taskScope(),
                controller->requestAdminConfirmation({item("/Library/A")}, false), &admin)
        .detach();
    const QUuid adminID = controller->pendingAdminEscalation()->id;
    awaitAnswer(controller->taskScope(),
                controller->requestAppManagementDecision({item("/Applications/A.app")}, true),
                &management)
        .detach();
    ASSERT_TRUE(controller->pendingAppManagementPrompt());
    ASSERT_TRUE(controller->pendingAdminEscalation());
    EXPECT_EQ(controller->pendingAdminEscalation()->id, adminID);

    controller->resolveAppManagementPrompt(AppManagementChoice::openSettings);
    ASSERT_TRUE(waitFor([&] { return management.has_value(); }));
    EXPECT_EQ(*management, AppManagementChoice::openSettings);
    EXPECT_FALSE(admin);
    ASSERT_TRUE(controller->pendingAdminEscalation());
    EXPECT_TRUE(controller->adminEscalationContinuation());

    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(waitFor([&] { return admin.has_value(); }));
    EXPECT_TRUE(*admin);
}

TEST_F(Prompts, AnAnswerAfterShutdownResumesNothing)
{
    auto controller = makeController();
    std::optional<bool> answer;
    awaitAnswer(controller->taskScope(),
                controller->requestAdminConfirmation({item("/Library/A")}, false), &answer)
        .detach();
    AdminEscalationContinuation kept = controller->adminEscalationContinuation();
    controller->shutdown();
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);
    controller->resolveAdminEscalation(true);
    controller.reset();
    EXPECT_FALSE(kept->resume(false)); // already answered, and its task is gone
    for (int i = 0; i < 5; ++i)
        processEvents();
    EXPECT_FALSE(answer);
}

} // namespace
} // namespace veldo::controller
