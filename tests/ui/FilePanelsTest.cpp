// The save panel over the Mac root, driven as a user would.
#include "app/ui/FilePanels.h"

#include <optional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::ui {
namespace {

using platform::MacPath;

struct Answers
{
    int count = 0;
    std::optional<MacPath> last;
    FilePanels::SaveAnswer callback()
    {
        return [this](std::optional<MacPath> path) {
            ++count;
            last = std::move(path);
        };
    }
};

FilePanels::SaveRequest reportRequest()
{
    return {QStringLiteral("Export Cleanup Report"),
            QStringLiteral("Veldo Report - Quill.json"),
            {QStringLiteral("json")}};
}

QLineEdit* nameField(QFileDialog* panel)
{
    return panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void typeNameAndAccept(QFileDialog* panel, const QString& name)
{
    QLineEdit* field = nameField(panel);
    ASSERT_NE(field, nullptr);
    field->selectAll();
    QTest::keyClicks(field, name);
    QTest::keyClick(field, Qt::Key_Return);
    QCoreApplication::processEvents();
}

TEST(FilePanels, ProposesTheNameInTheMacHomeAndAnswersTheChosenMacPath)
{
    testsupport::FakeMac mac;
    QWidget window;
    window.show();
    Answers answers;
    QFileDialog* panel =
        FilePanels::chooseSaveLocation(&window, reportRequest(), answers.callback());
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("Export Cleanup Report"));
    EXPECT_TRUE(panel->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(panel->isVisible()) << "opened, not run in a nested loop";
    EXPECT_EQ(QDir(panel->directory()).canonicalPath(),
              QDir(QString::fromStdString(mac.host(mac.home()))).canonicalPath());
    EXPECT_EQ(nameField(panel)->text(), QStringLiteral("Veldo Report - Quill.json"));
    EXPECT_EQ(panel->nameFilters(), QStringList{QStringLiteral("JSON (*.json)")});
    EXPECT_EQ(answers.count, 0);

    typeNameAndAccept(panel, QStringLiteral("mine"));
    EXPECT_EQ(answers.count, 1);
    ASSERT_TRUE(answers.last);
    EXPECT_EQ(*answers.last, mac.home().appendingPathComponent("mine.json"));
}

TEST(FilePanels, CancelAnswersNoneOnce)
{
    testsupport::FakeMac mac;
    QWidget window;
    window.show();
    Answers answers;
    QFileDialog* panel =
        FilePanels::chooseSaveLocation(&window, reportRequest(), answers.callback());
    QTest::keyClick(panel, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.count, 1);
    EXPECT_FALSE(answers.last);
}

TEST(FilePanels, AFolderOutsideTheMacIsRefusedWithAnAlert)
{
    testsupport::FakeMac mac;
    QTemporaryDir outside;
    QWidget window;
    window.show();
    Answers answers;
    QFileDialog* panel =
        FilePanels::chooseSaveLocation(&window, reportRequest(), answers.callback());
    panel->setDirectory(outside.path());
    typeNameAndAccept(panel, QStringLiteral("report"));
    auto* alert = window.findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(),
              QStringLiteral("The file couldn’t be saved because that folder isn’t on this Mac."));
    EXPECT_EQ(answers.count, 0) << "answered when the alert closes";
    alert->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.count, 1);
    EXPECT_FALSE(answers.last);
    EXPECT_FALSE(QFileInfo::exists(outside.filePath(QStringLiteral("report.json"))));
}

TEST(FilePanels, AnExistingFileIsReplacedOnlyAfterAsking)
{
    testsupport::FakeMac mac;
    const MacPath existing = mac.write(mac.home().appendingPathComponent("old.json"), "{}");
    QWidget window;
    window.show();
    Answers answers;
    QFileDialog* panel =
        FilePanels::chooseSaveLocation(&window, reportRequest(), answers.callback());

    typeNameAndAccept(panel, QStringLiteral("old.json"));
    auto* ask = panel->findChild<QMessageBox*>();
    ASSERT_NE(ask, nullptr);
    EXPECT_EQ(ask->text(), QStringLiteral("“old.json” already exists. Do you want to replace it?"));
    ask->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.count, 0);
    EXPECT_TRUE(panel->isVisible()) << "Cancel goes back to the panel";

    typeNameAndAccept(panel, QStringLiteral("old.json"));
    QPushButton* replace = nullptr;
    for (auto* box : panel->findChildren<QMessageBox*>())
        for (auto* button : box->buttons())
            if (button->text() == QStringLiteral("Replace") && box->isVisible())
                replace = qobject_cast<QPushButton*>(button);
    ASSERT_NE(replace, nullptr);
    replace->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.count, 1);
    ASSERT_TRUE(answers.last);
    EXPECT_EQ(*answers.last, existing);
}

} // namespace
} // namespace veldo::ui
