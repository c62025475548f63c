// The updater's answers as message boxes: window-modal over the given window, opened without a
// nested event loop, with the release page offered only when there is one.
#include "app/ui/MessageBoxUserDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include "platform/UrlOpener.h"

using namespace veldo;

namespace {

class MessageBoxUserDriverTest : public ::testing::Test
{
protected:
    MessageBoxUserDriverTest() { window.show(); }

    // The one box open over the window.
    QMessageBox* box()
    {
        const auto boxes = window.findChildren<QMessageBox*>();
        EXPECT_EQ(boxes.size(), 1);
        if (boxes.size() != 1)
            return nullptr;
        EXPECT_TRUE(boxes[0]->isVisible());
        EXPECT_EQ(boxes[0]->windowModality(), Qt::WindowModal);
        return boxes[0];
    }
    static QStringList buttonTexts(const QMessageBox& box)
    {
        QStringList texts;
        for (QAbstractButton* button : box.buttons())
            texts << button->text().remove('&');
        texts.sort();
        return texts;
    }
    static QAbstractButton* button(const QMessageBox& box, const QString& text)
    {
        for (QAbstractButton* b : box.buttons())
            if (b->text().remove('&') == text)
                return b;
        return nullptr;
    }

    QWidget window;
    ui::MessageBoxUserDriver driver{[this] { return &window; }};
};

} // namespace

TEST_F(MessageBoxUserDriverTest, AnUpdateOffersItsPageAndClosesWhenAnswered)
{
    platform::testing::UrlRecorder urls;
    driver.showUpdateFound({"28", "1.5", "https://example.com/1.5"}, "1.4");
    QPointer<QMessageBox> shown = box();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text(), "A new version of Veldo is available!");
    EXPECT_TRUE(shown->informativeText().contains("Veldo 1.5 is now available"));
    EXPECT_TRUE(shown->informativeText().contains("you have 1.4."));
    EXPECT_EQ(buttonTexts(*shown), (QStringList{"Later", "Open Download Page"}));

    button(*shown, "Open Download Page")->click();
    EXPECT_EQ(urls.urls(), (std::vector<std::string>{"https://example.com/1.5"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 2'000));
}

TEST_F(MessageBoxUserDriverTest, LaterOpensNothingAndAnUpdateWithoutPageOnlyHasOk)
{
    platform::testing::UrlRecorder urls;
    driver.showUpdateFound({"28", "1.5", "https://example.com/1.5"}, "1.4");
    QPointer<QMessageBox> shown = box();
    ASSERT_TRUE(shown);
    button(*shown, "Later")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 2'000));
    EXPECT_TRUE(urls.urls().empty());

    driver.showUpdateFound({"28", "1.5", ""}, "1.4");
    shown = box();
    ASSERT_TRUE(shown);
    EXPECT_EQ(buttonTexts(*shown), QStringList{"OK"});
    shown->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 2'000));
    EXPECT_TRUE(urls.urls().empty());
}

TEST_F(MessageBoxUserDriverTest, UpToDateAndErrorsSayWhatHappened)
{
    driver.showUpToDate("1.4");
    QPointer<QMessageBox> shown = box();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text(), QString::fromUtf8("You\u2019re up to date!"));
    EXPECT_EQ(shown->informativeText(), "Veldo 1.4 is currently the newest version available.");
    EXPECT_EQ(buttonTexts(*shown), QStringList{"OK"});
    QTest::keyClick(shown, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 2'000));

    driver.showUpdaterError("The update server couldn’t be reached.");
    shown = box();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text(), "Update Error!");
    EXPECT_EQ(shown->informativeText(), "The update server couldn’t be reached.");
    EXPECT_EQ(shown->icon(), QMessageBox::Warning);
}
