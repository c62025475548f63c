// The batch screen: its titles, paragraphs and derived values as pure functions; the rows, the
// three content states and the footer over a scripted controller; the confirmation that starts
// one removal and follows the controller while open, in one window or another.
#include "app/ui/BatchDetailView.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/BatchAppRow.h"
#include "app/ui/TintedPill.h"
#include "platform/ByteCountFormatter.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using controller::BatchAppResult;
using core::LeftoverCategory;
using testsupport::uiItem;
using Results = BatchDetailView::Results;

// The app rows top to bottom, as the rows column lays them out.
std::vector<BatchAppRow*> shownRows(const QWidget* view)
{
    std::vector<BatchAppRow*> rows;
    if (const auto* column = child<QVBoxLayout>(view, "rowsColumn"))
        for (int i = 0; i < column->count(); ++i)
            if (auto* row = qobject_cast<BatchAppRow*>(column->itemAt(i)->widget()))
                rows.push_back(row);
    return rows;
}

// The page the content shows: "scanningPage", "rowsPage" or "nothingToCleanPage".
QString shownPage(const QWidget* view)
{
    const auto* pages = child<QStackedWidget>(view, "contentPages");
    return pages && pages->currentWidget() ? pages->currentWidget()->objectName() : QString();
}

struct AppCase
{
    AppCase(std::string n, bool b = true, int f = 1, int a = 0, std::int64_t size = 1'000,
            bool p = false, bool r = false, std::optional<std::string> c = std::nullopt)
        : name(std::move(n)), bundle(b), files(f), admin(a), bytes(size), isProtected(p),
          isRunning(r), cask(std::move(c))
    {
    }
    std::string name;
    bool bundle; // the default selection holds the app bundle
    int files;   // other default-selected items
    int admin;   // of which need administrator rights
    std::int64_t bytes;
    bool isProtected;
    bool isRunning;
    std::optional<std::string> cask;
};

BatchAppResult result(const AppCase& app, const std::string& home = "/Users/me")
{
    BatchAppResult r;
    r.app.url = platform::MacPath("/Applications/" + app.name + ".app");
    r.app.name = app.name;
    if (app.bundle)
        r.defaultSelected.push_back(
            uiItem(r.app.url.path(), app.bytes, false, LeftoverCategory::application));
    for (int i = 0; i < app.files; ++i)
        r.defaultSelected.push_back(
            uiItem(home + "/Library/Caches/" + app.name + "-" + std::to_string(i), app.bytes,
                   i < app.admin));
    r.leftovers = r.defaultSelected;
    r.isProtected = app.isProtected;
    r.isRunning = app.isRunning;
    r.caskToken = app.cask;
    return r;
}

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The pills a row shows, in order, as assistive tools read them.
QStringList badgeTexts(const BatchAppRow& row)
{
    QStringList texts;
    for (const TintedPill* pill : child<QWidget>(row, "badges")->findChildren<TintedPill*>())
        texts << pill->accessibleName();
    return texts;
}

// The opacity the row is drawn at.
double drawnOpacity(const BatchAppRow& row)
{
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(row.graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

QString footerText(const BatchDetailView& view)
{
    return child<QLabel>(view, "footerLabel")->text();
}

TEST(BatchTexts, TitlesFollowWhetherEveryIncludedAppLosesItsBundle)
{
    const struct
    {
        Results included;
        const char* button;
        const char* title;
        bool stayInstalledSentence;
    } cases[] = {
        {{result({"Quill"}), result({"Inkwell"})},
         "Move 2 Apps to Trash\u2026",
         "Move 2 apps and their files to the Trash?",
         false},
        {{result({"Quill"}), result({"Inkwell", false})},
         "Clean Up 2 Apps\u2026",
         "Move files from 2 apps to the Trash?",
         true},
        {{result({"Quill"})},
         "Move 1 App to Trash\u2026",
         "Move 1 app and its files to the Trash?",
         false},
        {{result({"Quill", false})},
         "Clean Up 1 App\u2026",
         "Move files from 1 app to the Trash?",
         true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BatchDetailView::removeButtonTitle(c.included), text(c.button));
        EXPECT_EQ(BatchDetailView::confirmationTitle(c.included), text(c.title));
        const QStringList message =
            BatchDetailView::confirmationMessage(c.included, 2, 2'000, true);
        EXPECT_EQ(message.contains("Some apps stay installed; only their safe-default files are "
                                   "removed."),
                  c.stayInstalledSentence)
            << c.title;
    }
    EXPECT_FALSE(BatchDetailView::allIncludedRemoveAppBundle({}));
}

TEST(BatchTexts, CountedTextsAgreeWithTheirCounts)
{
    EXPECT_EQ(BatchDetailView::headerTitle(2), "2 Applications Selected");
    EXPECT_EQ(BatchDetailView::itemsSelectedText(1), "1 item selected");
    EXPECT_EQ(BatchDetailView::itemsSelectedText(0), "0 items selected");
    EXPECT_EQ(BatchDetailView::scanningText(3), text("Scanning 3 apps for leftover files\u2026"));
    EXPECT_EQ(BatchDetailView::footer(0, 3), "0 of 3 apps included");
    EXPECT_EQ(BatchDetailView::footer(1, 1), "1 of 1 app included");
}

TEST(BatchTexts, TheMessagesParagraphsInOrder)
{
    // Nothing to move yet: "Zero KB"; administrator items counted before the safety filter.
    const Results included = {result({"Quill", true, 3, 3, 0, false, true}),
                              result({"Inkwell", false, 1, 1, 0})};
    const QStringList all = BatchDetailView::confirmationMessage(included, 1, 0, true);
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[0], text("Veldo will move 1 item (Zero KB) to the Trash. You can undo this "
                           "with Edit \u25b8 Undo Last Cleanup."));
    EXPECT_EQ(all[1], "Some apps stay installed; only their safe-default files are removed.");
    EXPECT_EQ(all[2], "4 items need your administrator password.");
    EXPECT_EQ(all[3], text("Running apps will be asked to quit first; any that don\u2019t quit "
                           "keep their files."));
    EXPECT_EQ(BatchDetailView::adminItemCount(included), 4);
    EXPECT_EQ(BatchDetailView::includedDefaultItems(included).size(), 5u);

    // Quitting first is off: no running sentence; one administrator item "needs".
    const Results one = {result({"Quill", true, 1, 1, 2'400'000, false, true})};
    const QStringList quiet = BatchDetailView::confirmationMessage(one, 2, 4'800'000, false);
    ASSERT_EQ(quiet.size(), 2);
    EXPECT_EQ(quiet[0], text("Veldo will move 2 items (4.8 MB) to the Trash. You can undo this "
                             "with Edit \u25b8 Undo Last Cleanup."));
    EXPECT_EQ(quiet[1], "1 item needs your administrator password.");
}

TEST(BatchTexts, HomebrewAppsLosingTheirBundleAreNamed)
{
    const auto brewed = [](const char* name, bool bundle) {
        return result({name, bundle, 1, 0, 10, false, false, std::string(name) + "-cask"});
    };
    const auto last = [](const Results& included) {
        return BatchDetailView::confirmationMessage(included, 1, 1, true).last();
    };
    EXPECT_EQ(last({brewed("Quill", true), result({"Plain"})}),
              text("\u201cQuill\u201d was installed with Homebrew, which will still think it is "
                   "installed. To keep Homebrew\u2019s records right, select it alone and use "
                   "Uninstall with Homebrew."));
    EXPECT_EQ(last({brewed("Quill", true), brewed("Ink & Co", true), brewed("Kept", false)}),
              text("\u201cQuill\u201d, \u201cInk & Co\u201d were installed with Homebrew, which "
                   "will still think they are installed. To keep Homebrew\u2019s records right, "
                   "select each one alone and use Uninstall with Homebrew."));
    // Its bundle stays: not named, no Homebrew paragraph.
    EXPECT_FALSE(last({brewed("Kept", false)}).contains("Homebrew"));
    EXPECT_EQ(BatchDetailView::homebrewBundleResults({brewed("Kept", false)}).size(), 0u);
}

TEST(BatchTexts, RowStatusLines)
{
    EXPECT_EQ(BatchAppRow::statusLine(result({"Finder", true, 1, 0, 1, true})),
              text("Protected \u2014 won\u2019t be removed"));
    EXPECT_EQ(BatchAppRow::statusLine(result({"Empty", false, 0})), "No safe-default items found");
    EXPECT_EQ(BatchAppRow::statusLine(result({"Quill", true, 2})),
              text("3 items \u00b7 includes app bundle"));
    EXPECT_EQ(BatchAppRow::statusLine(result({"Quill", false, 1})), "1 item");
    EXPECT_EQ(BatchAppRow::accessibleLabel(result({"Quill", false, 1}), 0),
              "Include Quill, 1 item, Zero KB");
}

class BatchDetailViewTest : public testing::Test
{
protected:
    BatchDetailViewTest()
    {
        // Real files, so that the removal-safety policy lets the items through.
        for (const char* name : {"Quill", "Inkwell", "Finder", "Margins"})
            mac.makeApp(platform::MacPath(std::string("/Applications/") + name + ".app"),
                        platform::PlistValue::Dictionary{{"CFBundleName", name}});
        c.model->setApps({app("Quill"), app("Inkwell"), app("Finder"), app("Margins")});
    }

    static core::InstalledApp app(const std::string& name)
    {
        core::InstalledApp a;
        a.url = platform::MacPath("/Applications/" + name + ".app");
        a.name = name;
        return a;
    }

    BatchAppResult batchResult(const AppCase& shape)
    {
        BatchAppResult r = result(shape, mac.home().path());
        for (const auto& item : r.defaultSelected)
            if (item.category != LeftoverCategory::application)
                mac.write(item.url, "x");
        return r;
    }

    // Quill (running), Inkwell (Homebrew) and Finder (protected), all three selected; the first
    // two included.
    void arrange(std::int64_t bytes = 1'000)
    {
        c.model->setSelectedAppIDs(
            {"/Applications/Quill.app", "/Applications/Inkwell.app", "/Applications/Finder.app"});
        c.model->setBatchResults(
            {batchResult({"Quill", true, 1, 0, bytes, false, true}),
             batchResult({"Inkwell", true, 1, 0, bytes, false, false, "inkwell"}),
             batchResult({"Finder", true, 1, 0, bytes, true})});
        c.model->setBatchIncludedIDs({"/Applications/Quill.app", "/Applications/Inkwell.app"});
    }

    std::unique_ptr<BatchDetailView> makeView()
    {
        auto view = std::make_unique<BatchDetailView>(*c.model, nullptr);
        view->resize(760, 560);
        view->show();
        settle();
        return view;
    }

    static void settle() { QTest::qWait(1); }

    static QAbstractButton* button(QMessageBox& box, const QString& title)
    {
        for (QAbstractButton* b : box.buttons())
            if (b->text() == title)
                return b;
        return nullptr;
    }

    testsupport::FakeMac mac;
    testsupport::UiController c;
};

TEST_F(BatchDetailViewTest, RowsShowTheirPillsStatusAndInclusion)
{
    arrange();
    auto view = makeView();
    EXPECT_EQ(shownPage(view.get()), "rowsPage");
    EXPECT_EQ(child<QLabel>(view, "titleLabel")->text(), "3 Applications Selected");
    const std::vector<BatchAppRow*> rows = shownRows(view.get());
    ASSERT_EQ(rows.size(), 3u);
    const BatchAppRow& quill = *rows[0];
    const BatchAppRow& inkwell = *rows[1];
    const BatchAppRow& finder = *rows[2];
    EXPECT_EQ(badgeTexts(quill), QStringList{"Running"});
    EXPECT_EQ(badgeTexts(inkwell), QStringList{"Homebrew"});
    EXPECT_EQ(badgeTexts(finder), QStringList{"Protected"});
    EXPECT_TRUE(child<QCheckBox>(quill, "checkbox")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(quill, "checkbox")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(finder, "checkbox")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(finder, "checkbox")->isEnabled());
    EXPECT_DOUBLE_EQ(drawnOpacity(finder), 0.6);
    EXPECT_DOUBLE_EQ(drawnOpacity(quill), 1.0);
    EXPECT_EQ(child<QLabel>(finder, "statusLabel")->text(),
              text("Protected \u2014 won\u2019t be removed"));
    EXPECT_TRUE(child<QCheckBox>(quill, "checkbox")
                    ->accessibleName()
                    .startsWith(text("Include Quill, 2 items \u00b7 includes app bundle, ")));
    EXPECT_EQ(footerText(*view), "2 of 3 apps included");
    EXPECT_EQ(child<QLabel>(view, "totalSizeLabel")->text(),
              QString::fromStdString(platform::sizeText(c.model->includedBatchBytes())));
    EXPECT_EQ(child<QLabel>(view, "itemsSelectedLabel")->text(),
              BatchDetailView::itemsSelectedText(c.model->includedBatchItemCount()));
    EXPECT_EQ(child<QPushButton>(view, "removeButton")->text(), text("Move 2 Apps to Trash\u2026"));
    EXPECT_TRUE(child<QPushButton>(view, "removeButton")->isEnabled());

    // Every click flips the app's inclusion.
    const_cast<QCheckBox*>(child<QCheckBox>(quill, "checkbox"))->click();
    settle();
    EXPECT_FALSE(c.model->batchIncludedIDs().contains("/Applications/Quill.app"));
    EXPECT_FALSE(child<QCheckBox>(shownRows(view.get())[0], "checkbox")->isChecked());
    EXPECT_EQ(footerText(*view), "1 of 3 apps included");
    child<QCheckBox>(shownRows(view.get())[1], "checkbox")->click();
    settle();
    EXPECT_EQ(footerText(*view), "0 of 3 apps included");
    EXPECT_FALSE(child<QPushButton>(view, "removeButton")->isEnabled());
}

TEST_F(BatchDetailViewTest, ZeroBytesReadZeroKBInHeaderAndRow)
{
    arrange(0);
    auto view = makeView();
    EXPECT_EQ(child<QLabel>(view, "totalSizeLabel")->text(), "Zero KB");
    EXPECT_EQ(child<QLabel>(shownRows(view.get())[0], "sizeLabel")->text(), "Zero KB");
}

TEST_F(BatchDetailViewTest, ScanningThenRowsOrNothingToClean)
{
    c.model->setSelectedAppIDs({"/Applications/Quill.app", "/Applications/Inkwell.app"});
    c.model->setIsScanningBatch(true);
    auto view = makeView();
    EXPECT_EQ(shownPage(view.get()), "scanningPage");
    c.model->setIsScanningBatch(false);
    settle();
    EXPECT_EQ(shownPage(view.get()), "nothingToCleanPage");
    EXPECT_EQ(footerText(*view), "0 of 0 apps included");
    EXPECT_FALSE(child<QPushButton>(view, "removeButton")->isEnabled());
}

TEST_F(BatchDetailViewTest, MoveToTrashStartsOneRemoval)
{
    arrange();
    auto view = makeView();
    QSignalSpy removing(c.model.get(), &controller::UninstallViewModel::isRemovingChanged);
    child<QPushButton>(view, "removeButton")->click();
    QMessageBox* box = child<QMessageBox>(view, "removeConfirmation");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), text("Move 2 apps and their files to the Trash?"));
    EXPECT_EQ(box->informativeText(),
              BatchDetailView::confirmationMessage(c.model->includedBatchResults(),
                                                   c.model->includedBatchItemCount(),
                                                   c.model->includedBatchBytes(), true)
                  .join("\n\n"));
    const auto* message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->textFormat(), Qt::PlainText) << "names are never read as markup";
    QAbstractButton* move = button(*box, "Move to Trash");
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(box->buttonRole(move), QMessageBox::DestructiveRole);
    ASSERT_NE(button(*box, "Cancel"), nullptr);
    move->click();
    EXPECT_TRUE(c.model->isRemoving());
    EXPECT_EQ(removing.count(), 1);
    settle();
    EXPECT_EQ(child<QMessageBox>(view, "removeConfirmation"), nullptr);
    if (c.model->isRemoving()) {
        EXPECT_EQ(child<QPushButton>(view, "removeButton")->text(), text("Removing\u2026"));
        EXPECT_FALSE(child<QPushButton>(view, "removeButton")->isEnabled());
    }
}

TEST_F(BatchDetailViewTest, ControlBackspaceAsksAndCancelRemovesNothing)
{
    arrange();
    auto view = makeView();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QTest::keyClick(view.get(), Qt::Key_Backspace, Qt::ControlModifier);
    QMessageBox* box = child<QMessageBox>(view, "removeConfirmation");
    ASSERT_NE(box, nullptr);
    button(*box, "Cancel")->click();
    settle();
    EXPECT_FALSE(c.model->isRemoving());
    EXPECT_EQ(child<QMessageBox>(view, "removeConfirmation"), nullptr);
}

TEST_F(BatchDetailViewTest, AnOpenConfirmationFollowsTheControllerAndClosesOnOtherApps)
{
    arrange();
    auto first = makeView();
    auto second = makeView(); // another main window on the same controller
    child<QPushButton>(first, "removeButton")->click();
    QPointer<QMessageBox> box = child<QMessageBox>(first, "removeConfirmation");
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->informativeText().count("Running apps"), 1);

    // Quill stops running: the text follows, the box stays.
    auto results = c.model->batchResults();
    results[0].isRunning = false;
    c.model->setBatchResults(results);
    settle();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->informativeText().count("Running apps"), 0);
    // So does the quit setting when it runs again.
    results[0].isRunning = true;
    c.model->setBatchResults(results);
    c.settings->setQuitBeforeRemoving(false);
    settle();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->informativeText().count("Running apps"), 0);

    // The other window leaves an app out: the box closes as Cancel, nothing is removed.
    child<QCheckBox>(shownRows(second.get())[1], "checkbox")->click();
    settle();
    EXPECT_TRUE(!box || !box->isVisible());
    EXPECT_EQ(child<QMessageBox>(first, "removeConfirmation"), nullptr);
    EXPECT_FALSE(c.model->isRemoving());

    // Open again, then other apps are selected.
    child<QPushButton>(first, "removeButton")->click();
    box = child<QMessageBox>(first, "removeConfirmation");
    ASSERT_NE(box, nullptr);
    c.model->setSelectedAppIDs({"/Applications/Margins.app", "/Applications/Inkwell.app"});
    settle();
    EXPECT_TRUE(!box || !box->isVisible());
    EXPECT_FALSE(c.model->isRemoving());
}

TEST_F(BatchDetailViewTest, TwoHundredAppsBuildInOnePass)
{
    std::vector<BatchAppResult> many;
    controller::IdSet ids;
    for (int i = 0; i < 200; ++i) {
        BatchAppResult r = result({"App & Co " + std::to_string(i), false, 1});
        ids.insert(r.app.id());
        many.push_back(std::move(r));
    }
    c.model->setBatchResults(many);
    c.model->setBatchIncludedIDs(ids);
    auto view = makeView();
    EXPECT_EQ(shownRows(view.get()).size(), 200u);
    EXPECT_EQ(footerText(*view), "200 of 200 apps included");
    // "&" is shown as written, never taken as a mnemonic.
    const auto labels = shownRows(view.get())[7]->findChildren<QLabel*>();
    EXPECT_TRUE(std::ranges::any_of(labels, [](QLabel* l) { return l->text() == "App & Co 7"; }));
}

} // namespace
} // namespace veldo::ui
