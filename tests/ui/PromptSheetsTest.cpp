// The prompt sheets: their texts, buttons and keys, lists that scroll inside a sheet of fixed
// width, the copy button, the Trash banner's announcements, and the drop overlay.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>

#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppManagementSheet.h"
#include "app/ui/CaskFailureSheet.h"
#include "app/ui/DropOverlay.h"
#include "app/ui/ElidedLabel.h"
#include "app/ui/PathList.h"
#include "app/ui/TrashedAppBanner.h"
#include "platform/qt/Announcer.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownPaths.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using testsupport::shownPaths;
using testsupport::uiItem;

void showSheet(QDialog& sheet)
{
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
}

std::vector<core::LeftoverItem> manyItems(int count)
{
    std::vector<core::LeftoverItem> items;
    for (int i = 0; i < count; ++i)
        items.push_back(
            uiItem("/Library/Application Support/Quill/part-" + std::to_string(i), 1'000, true));
    return items;
}

class AdminEscalationSheetTest : public testing::Test
{
protected:
    std::unique_ptr<AdminEscalationSheet> sheet(std::vector<core::LeftoverItem> items,
                                                bool usesHelper)
    {
        controller::AdminEscalationRequest request;
        request.id = QUuid::createUuid();
        request.items = std::move(items);
        request.usesHelper = usesHelper;
        return std::make_unique<AdminEscalationSheet>(
            request, *m_controller.model, [this] { ++m_avoided; },
            [this](bool answer) { m_answers.push_back(answer); });
    }

    testsupport::FakeMac m_mac;
    testsupport::UiController m_controller;
    int m_avoided = 0;
    std::vector<bool> m_answers;
};

TEST_F(AdminEscalationSheetTest, TextsOfBothVariants)
{
    const struct
    {
        std::vector<core::LeftoverItem> items;
        bool helper;
        const char* title;
        const char* message;
        const char* note;
        const char* confirm;
        bool avoid;
    } cases[] = {
        {{uiItem("/Library/Application Support/Quill", 0, true)},
         false,
         "Administrator Password Needed",
         "Your account can’t move this item (Zero KB) to the Trash. If you continue, macOS asks "
         "for an administrator password and Veldo moves exactly the following to your Trash:",
         "Undo can put them back; it will ask for the password again.",
         "Continue…",
         true},
        {{uiItem("/Library/Application Support/Quill", 1'500'000, true),
          uiItem("/Library/LaunchDaemons/com.quill.helper.plist", 2'000'000, true),
          uiItem("/Library/Preferences/com.quill.plist", 0, true)},
         true,
         "Confirm System Changes",
         "Your account can’t move these 3 items (3.5 MB) to the Trash. If you continue, Veldo’s "
         "administrator helper moves exactly the following to your Trash, without asking for "
         "your password:",
         "Undo can put them back through the helper. Anything the helper can’t move still needs "
         "your password.",
         "Move to Trash",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        auto s = sheet(c.items, c.helper);
        EXPECT_EQ(s->title().toStdString(), c.title);
        EXPECT_EQ(child<QLabel>(s, "messageLabel")->text().toStdString(), c.message);
        EXPECT_EQ(child<QLabel>(s, "noteLabel")->text().toStdString(), c.note);
        EXPECT_EQ(child<QPushButton>(s, "continueButton")->text().toStdString(), c.confirm);
        EXPECT_EQ(child<QPushButton>(s, "skipButton")->text().toStdString(), "Skip These Items");
        EXPECT_EQ(child<QPushButton>(s, "avoidButton") != nullptr, c.avoid);
        QStringList paths;
        for (const auto& item : c.items)
            paths << QString::fromStdString(item.url.path());
        EXPECT_EQ(shownPaths(*child<PathList>(s, "pathList")), paths);
        EXPECT_EQ(s->width(), AdminEscalationSheet::kWidth);
    }
}

TEST_F(AdminEscalationSheetTest, SizeCountsOnlyWhatMayBeRemoved)
{
    // The second item lies inside the first; the system folder is refused outright.
    auto s = sheet({uiItem("/Library/Application Support/Quill", 2'000'000, true),
                    uiItem("/Library/Application Support/Quill/cache", 5'000'000, true)},
                   false);
    EXPECT_NE(child<QLabel>(s, "messageLabel")->text().indexOf(QStringLiteral("(2 MB)")), -1)
        << child<QLabel>(s, "messageLabel")->text().toStdString();

    auto refused = sheet(
        {uiItem("/System/Library/CoreServices", 9'000'000, true), uiItem("/usr/bin", 4'000, true)},
        false);
    EXPECT_NE(child<QLabel>(refused, "messageLabel")
                  ->text()
                  .indexOf(QStringLiteral("these 2 items (Zero KB)")),
              -1)
        << child<QLabel>(refused, "messageLabel")->text().toStdString();
    EXPECT_EQ(shownPaths(*child<PathList>(refused, "pathList")),
              (QStringList{"/System/Library/CoreServices", "/usr/bin"}));

    auto empty = sheet({}, true);
    EXPECT_NE(child<QLabel>(empty, "messageLabel")
                  ->text()
                  .indexOf(QStringLiteral("these 0 items (Zero KB)")),
              -1);
    EXPECT_TRUE(shownPaths(*child<PathList>(empty, "pathList")).isEmpty());
    child<QPushButton>(empty, "continueButton")->click();
    EXPECT_EQ(m_answers, std::vector<bool>{true});
}

TEST_F(AdminEscalationSheetTest, KeysAndButtonsAnswerOncePerPressAndAvoidLeavesItOpen)
{
    auto s = sheet(manyItems(2), false);
    showSheet(*s);
    QTest::keyClick(s.get(), Qt::Key_Return);
    EXPECT_EQ(m_answers, std::vector<bool>{true});
    QTest::keyClick(s.get(), Qt::Key_Escape);
    EXPECT_EQ(m_answers, (std::vector<bool>{true, false}));
    EXPECT_TRUE(s->isVisible()) << "the presenter closes the sheet once the answer is taken";

    m_answers.clear();
    child<QPushButton>(s, "skipButton")->click();
    child<QPushButton>(s, "continueButton")->click();
    EXPECT_EQ(m_answers, (std::vector<bool>{false, true}));

    m_answers.clear();
    child<QPushButton>(s, "avoidButton")->click();
    EXPECT_EQ(m_avoided, 1);
    EXPECT_TRUE(m_answers.empty());
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(child<QPushButton>(s, "avoidButton")->toolTip().toStdString(),
              "Settings ▸ Administrator: let a background helper move system files after you "
              "confirm them, without a password each time.");

    // Return on a focused non-default button still means the default answer.
    child<QPushButton>(s, "skipButton")->setFocus();
    QTest::keyClick(s.get(), Qt::Key_Return);
    EXPECT_EQ(m_answers, std::vector<bool>{true});

    m_answers.clear();
    s->close();
    EXPECT_EQ(m_answers, std::vector<bool>{false});
}

TEST_F(AdminEscalationSheetTest, LongListsAndPathsScrollInsideASheetOfFixedSize)
{
    auto few = sheet(manyItems(1), false);
    showSheet(*few);
    const int smallHeight = few->height();
    const QTextEdit* fewView = child<QTextEdit>(child<PathList>(few, "pathList"), "textView");
    EXPECT_GE(fewView->height(), qCeil(fewView->document()->size().height()))
        << "a short list shows whole";

    auto many = sheet(manyItems(60), false);
    showSheet(*many);
    QApplication::processEvents();
    EXPECT_EQ(many->width(), AdminEscalationSheet::kWidth);
    EXPECT_EQ(child<PathList>(many, "pathList")->height(),
              AdminEscalationSheet::kListMaximumHeight);
    EXPECT_LT(many->height(), smallHeight + AdminEscalationSheet::kListMaximumHeight);
    EXPECT_GT(child<QTextEdit>(child<PathList>(many, "pathList"), "textView")
                  ->verticalScrollBar()
                  ->maximum(),
              0);

    // The list takes focus from the keyboard; every path can be selected and copied.
    QTextEdit* view = child<QTextEdit>(child<PathList>(many, "pathList"), "textView");
    EXPECT_EQ(view->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    EXPECT_TRUE(view->isReadOnly());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(view->textCursor().selectedText().toStdString(),
              "/Library/Application Support/Quill/part-59");

    const std::string longName(1'000, 'x');
    auto wide = sheet(
        {uiItem("/Library/" + longName, 10, true), uiItem("/Library/two\nlines", 10, true)}, false);
    showSheet(*wide);
    QApplication::processEvents();
    EXPECT_EQ(wide->width(), AdminEscalationSheet::kWidth);
    EXPECT_EQ(shownPaths(*child<PathList>(wide, "pathList")),
              (QStringList{QString::fromStdString("/Library/" + longName), "/Library/two\nlines"}));
    QTextDocument* document =
        child<QTextEdit>(child<PathList>(wide, "pathList"), "textView")->document();
    ASSERT_EQ(document->blockCount(), 2) << "a line break stays inside its path";
    EXPECT_GT(document->begin().layout()->lineCount(), 3) << "the long path wraps";
    EXPECT_EQ(document->lastBlock().layout()->lineCount(), 2);
}

using controller::AppManagementChoice;

TEST(AppManagementSheet, TextsForOneAndSeveralAppsWithHelperOrPassword)
{
    const std::string explanation =
        "macOS lets an app move or delete other apps only when you allow it in System Settings ▸ "
        "Privacy & Security ▸ App Management. Turn on Veldo there, then quit and reopen Veldo. "
        "After that, Veldo moves apps to the Trash without asking for your administrator "
        "password.";
    const struct
    {
        int apps;
        bool helper;
        const char* note;
        const char* fallback;
    } cases[] = {
        {1, false, "You can also move just this app now with your administrator password.",
         "Use Administrator Password Instead"},
        {1, true, "You can also move just this app now with Veldo’s administrator helper.",
         "Use Administrator Helper Instead"},
        {3, false, "You can also move just these apps now with your administrator password.",
         "Use Administrator Password Instead"},
        {0, true, "You can also move just these apps now with Veldo’s administrator helper.",
         "Use Administrator Helper Instead"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        controller::AppManagementPrompt prompt;
        for (int i = 0; i < c.apps; ++i)
            prompt.items.push_back(uiItem("/Applications/App " + std::to_string(i) + ".app", 0,
                                          false, core::LeftoverCategory::application));
        prompt.usesHelper = c.helper;
        AppManagementSheet sheet(prompt, [](AppManagementChoice) {});
        EXPECT_EQ(sheet.title().toStdString(), "macOS blocked Veldo from changing other apps");
        EXPECT_EQ(child<QLabel>(sheet, "explanationLabel")->text().toStdString(), explanation);
        EXPECT_EQ(child<QLabel>(sheet, "noteLabel")->text().toStdString(), c.note);
        EXPECT_EQ(child<QPushButton>(sheet, "administratorButton")->text().toStdString(),
                  c.fallback);
        EXPECT_EQ(child<QPushButton>(sheet, "cancelButton")->text().toStdString(), "Cancel");
        EXPECT_EQ(child<QPushButton>(sheet, "openSettingsButton")->text().toStdString(),
                  "Open Privacy && Security")
            << "a single ampersand would be taken for a mnemonic";
        EXPECT_EQ(shownPaths(*child<PathList>(sheet, "pathList")).size(), c.apps);
        EXPECT_EQ(sheet.width(), AppManagementSheet::kWidth);
    }
}

TEST(AppManagementSheet, EachButtonAndKeyChoosesOnce)
{
    std::vector<AppManagementChoice> choices;
    controller::AppManagementPrompt prompt;
    prompt.items = manyItems(40);
    AppManagementSheet sheet(prompt, [&](AppManagementChoice c) { choices.push_back(c); });
    showSheet(sheet);
    QTest::keyClick(&sheet, Qt::Key_Return);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    child<QPushButton>(sheet, "administratorButton")->click();
    child<QPushButton>(sheet, "cancelButton")->click();
    child<QPushButton>(sheet, "openSettingsButton")->click();
    EXPECT_EQ(choices, (std::vector<AppManagementChoice>{
                           AppManagementChoice::openSettings, AppManagementChoice::cancel,
                           AppManagementChoice::useAdministrator, AppManagementChoice::cancel,
                           AppManagementChoice::openSettings}));
    EXPECT_TRUE(sheet.isVisible());

    // The fallback has no key: Return on it still opens Settings.
    choices.clear();
    child<QPushButton>(sheet, "administratorButton")->setFocus();
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(choices, std::vector<AppManagementChoice>{AppManagementChoice::openSettings});

    QApplication::processEvents();
    EXPECT_EQ(child<PathList>(sheet, "pathList")->height(), AppManagementSheet::kListMaximumHeight);
    EXPECT_GT(child<QTextEdit>(child<PathList>(sheet, "pathList"), "textView")
                  ->verticalScrollBar()
                  ->maximum(),
              0);
}

controller::CaskFailure caskFailure(bool removed, std::string output)
{
    controller::CaskFailure failure;
    failure.appName = "Quill";
    failure.token = "quill";
    failure.message = "Error: It seems there is already an App at '/Applications/Quill.app'.";
    failure.terminalCommand = "brew uninstall --cask --zap --force quill";
    failure.output = std::move(output);
    failure.appWasRemoved = removed;
    return failure;
}

TEST(CaskFailureSheet, TextsFollowWhetherTheAppWasRemoved)
{
    const struct
    {
        bool removed;
        const char* title;
        const char* intro;
    } cases[] = {
        {true, "Homebrew Removed “Quill” but Didn’t Finish",
         "Run this in Terminal to finish Homebrew’s cleanup:"},
        {false, "Homebrew Couldn’t Uninstall “Quill”",
         "Run this in Terminal to finish the uninstall:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        CaskFailureSheet sheet(caskFailure(c.removed, ""), [] {});
        EXPECT_EQ(sheet.title().toStdString(), c.title);
        EXPECT_EQ(child<QLabel>(sheet, "commandIntroLabel")->text().toStdString(), c.intro);
        EXPECT_EQ(child<QLabel>(sheet, "messageLabel")->text().toStdString(),
                  "Error: It seems there is already an App at '/Applications/Quill.app'.");
        EXPECT_EQ(child<QLabel>(sheet, "commandLabel")->text().toStdString(),
                  "brew uninstall --cask --zap --force quill");
        EXPECT_EQ(child<QLabel>(sheet, "rescanLabel")->text().toStdString(),
                  "Then use ⌘R in Veldo to rescan for anything left behind.");
        EXPECT_EQ(child<QPushButton>(sheet, "copyButton")->text().toStdString(), "Copy Command");
        EXPECT_EQ(child<QPushButton>(sheet, "okButton")->text().toStdString(), "OK");
        EXPECT_EQ(child<QToolButton>(sheet, "outputDisclosure"), nullptr)
            << "no output, no disclosure";
        EXPECT_EQ(sheet.width(), CaskFailureSheet::kWidth);
    }
}

TEST(CaskFailureSheet, OutputStartsCollapsedAndOpensInsideItsBox)
{
    std::string output;
    for (int i = 0; output.size() < 4'000'000; ++i)
        output += "==> Removing files: /Applications/Quill.app/Contents/Resources/" +
                  std::to_string(i) + "\n";
    CaskFailureSheet sheet(caskFailure(false, output), [] {});
    showSheet(sheet);
    const int collapsed = sheet.height();
    ASSERT_NE(child<QToolButton>(sheet, "outputDisclosure"), nullptr);
    EXPECT_EQ(child<QToolButton>(sheet, "outputDisclosure")->text().toStdString(),
              "Homebrew output");
    EXPECT_EQ(child<QToolButton>(sheet, "outputDisclosure")->arrowType(), Qt::RightArrow);
    EXPECT_FALSE(child<QPlainTextEdit>(sheet, "outputView")->isVisible());

    child<QToolButton>(sheet, "outputDisclosure")->click();
    QApplication::processEvents();
    EXPECT_EQ(child<QToolButton>(sheet, "outputDisclosure")->arrowType(), Qt::DownArrow);
    EXPECT_TRUE(child<QPlainTextEdit>(sheet, "outputView")->isVisible());
    EXPECT_TRUE(child<QPlainTextEdit>(sheet, "outputView")->isReadOnly());
    EXPECT_EQ(child<QPlainTextEdit>(sheet, "outputView")->toPlainText().size(),
              QString::fromStdString(output).size());
    EXPECT_LE(child<QPlainTextEdit>(sheet, "outputView")->height(),
              CaskFailureSheet::kOutputMaximumHeight);
    EXPECT_GT(sheet.height(), collapsed);
    EXPECT_LE(sheet.height(), collapsed + CaskFailureSheet::kOutputMaximumHeight + 40);
    EXPECT_EQ(sheet.width(), CaskFailureSheet::kWidth);

    child<QToolButton>(sheet, "outputDisclosure")->click();
    EXPECT_FALSE(child<QPlainTextEdit>(sheet, "outputView")->isVisible());
}

TEST(CaskFailureSheet, CopyPutsExactlyTheCommandOnTheClipboardAndStaysCopied)
{
    int dismissed = 0;
    CaskFailureSheet sheet(caskFailure(true, "x"), [&] { ++dismissed; });
    showSheet(sheet);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    child<QPushButton>(sheet, "copyButton")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "brew uninstall --cask --zap --force quill");
    EXPECT_EQ(child<QPushButton>(sheet, "copyButton")->text().toStdString(), "Copied");

    QGuiApplication::clipboard()->setText(QStringLiteral("changed since"));
    child<QPushButton>(sheet, "copyButton")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "brew uninstall --cask --zap --force quill");
    EXPECT_EQ(child<QPushButton>(sheet, "copyButton")->text().toStdString(), "Copied");
    EXPECT_EQ(dismissed, 0);

    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(dismissed, 1);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(dismissed, 2);
    child<QPushButton>(sheet, "okButton")->click();
    EXPECT_EQ(dismissed, 3);
}

controller::TrashedAppNotice notice(std::string id, std::string name, bool inTrash, int items,
                                    std::int64_t bytes)
{
    controller::TrashedAppNotice n;
    n.id = std::move(id);
    n.app.name = std::move(name);
    if (inTrash)
        n.bundle.trashURL = platform::MacPath("/Users/me/.Trash/" + n.app.name + ".app");
    n.itemCount = items;
    n.totalBytes = bytes;
    return n;
}

TEST(TrashedAppBanner, SentencesAndDetailLines)
{
    const struct
    {
        controller::TrashedAppNotice notice;
        int pending;
        const char* prompt;
        const char* detail;
    } cases[] = {
        {notice("a", "Quill", true, 1, 0), 0,
         "You moved “Quill” to the Trash. Remove its leftovers too?",
         "1 item · Zero KB left behind"},
        {notice("b", "Quill", false, 7, 48'300'000), 1,
         "“Quill” is no longer in Applications. Remove its leftovers too?",
         "7 items · 48.3 MB left behind · 1 more app waiting"},
        {notice("c", "ملاحظات é", true, 2, -5), 2,
         "You moved “ملاحظات é” to the Trash. Remove its leftovers too?",
         "2 items · Zero KB left behind · 2 more apps waiting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prompt);
        TrashedAppBanner banner({}, {});
        banner.setNotice(c.notice, c.pending);
        EXPECT_EQ(child<QLabel>(banner, "promptLabel")->text().toStdString(), c.prompt);
        EXPECT_EQ(child<ElidedLabel>(banner, "detailLabel")->text().toStdString(), c.detail);
    }
}

TEST(TrashedAppBanner, ButtonsAndAnnouncements)
{
    platform::qt::Announcer::Recorder recorder;
    int reviewed = 0;
    int dismissed = 0;
    QWidget window;
    auto* banner = new TrashedAppBanner([&] { ++reviewed; }, [&] { ++dismissed; }, &window);
    banner->setNotice(notice("a", "Quill", true, 3, 1'000), 2);
    EXPECT_TRUE(recorder.announcements().isEmpty()) << "nothing is said before it shows";
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(recorder.announcements(),
              QStringList{"You moved “Quill” to the Trash. Remove its leftovers too?"});

    // Same notice with new counts: no second announcement; a new id is announced even when
    // its sentence is the same.
    banner->setNotice(notice("a", "Quill", true, 4, 2'000), 1);
    EXPECT_EQ(recorder.announcements().size(), 1);
    banner->setNotice(notice("b", "Quill", true, 1, 0), 0);
    EXPECT_EQ(recorder.announcements().size(), 2);
    banner->hide();
    banner->show();
    EXPECT_EQ(recorder.announcements().size(), 3);
    for (const QString& said : recorder.announcements())
        EXPECT_EQ(said.indexOf(QStringLiteral("left behind")), -1);

    child<QPushButton>(banner, "reviewButton")->click();
    child<QToolButton>(banner, "notNowButton")->click();
    EXPECT_EQ(reviewed, 1);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(child<QPushButton>(banner, "reviewButton")->text().toStdString(), "Review");
    EXPECT_EQ(child<QPushButton>(banner, "reviewButton")->toolTip().toStdString(),
              "Show the files it left behind. Nothing is removed until you confirm.");
    EXPECT_EQ(child<QToolButton>(banner, "notNowButton")->accessibleName().toStdString(),
              "Not Now");
    EXPECT_EQ(child<QToolButton>(banner, "notNowButton")->toolTip().toStdString(), "Not now");
    EXPECT_EQ(child<QToolButton>(banner, "notNowButton")->toolButtonStyle(),
              Qt::ToolButtonIconOnly);
}

TEST(DropOverlay, TextsAndNoInput)
{
    QWidget window;
    window.resize(800, 600);
    auto* overlay = new DropOverlay(&window);
    overlay->setGeometry(window.rect());
    EXPECT_EQ(DropOverlay::title().toStdString(), "Drop to Uninstall");
    EXPECT_EQ(DropOverlay::subtitle().toStdString(),
              "Release an app here to scan its leftover files.");
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(overlay->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(overlay->acceptDrops());
    EXPECT_EQ(overlay->cardRect().center(), QRectF(window.rect()).center());
}

} // namespace
} // namespace veldo::ui
