// App icons: loaded on the provider's threads, pixmaps on the GUI thread, lookups without disk.
#include "platform/qt/AppIconProvider.h"

#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>
#include <QSignalSpy>

#include "platform/PlistValue.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::platform::qt {
namespace {

using Stage = AppIconProvider::Stage;
using namespace testsupport::literals;

std::string icnsBytes(QColor colour, int edge = 64)
{
    QImage image(edge, edge, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "icns");
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes.toStdString();
}

QColor centre(const QIcon& icon)
{
    const QImage image = icon.pixmap(32, 32).toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

class AppIconProviderTest : public testing::Test
{
protected:
    AppIconProviderTest()
    {
        m_provider.setThreadProbe([this](Stage stage, bool onGui) {
            std::lock_guard lock(m_mutex);
            m_stages.push_back({stage, onGui});
        });
    }

    MacPath app(const char* path, PlistValue iconFile)
    {
        PlistValue::Dictionary info{{"CFBundleName", "Foo"}};
        if (!iconFile.asDictionary())
            info.emplace("CFBundleIconFile", std::move(iconFile));
        return m_mac.makeApp(MacPath(path), PlistValue(std::move(info)));
    }

    // The icon once the provider reported it.
    QIcon loaded(const MacPath& path)
    {
        QSignalSpy ready(&m_provider, &AppIconProvider::iconReady);
        m_provider.icon(path);
        EXPECT_TRUE(ready.wait(5000)) << path.path();
        return m_provider.icon(path);
    }

    void expectStagesOnTheirThreads()
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [stage, onGui] : m_stages)
            EXPECT_EQ(onGui, stage == Stage::pixmap) << static_cast<int>(stage);
    }

    testsupport::FakeMac m_mac;
    AppIconProvider m_provider;
    std::mutex m_mutex;
    std::vector<std::pair<Stage, bool>> m_stages;
};

TEST_F(AppIconProviderTest, BundleIconLoadsOffTheGuiThread)
{
    const MacPath foo = app("/Applications/Foo.app", "Foo");
    m_mac.write("/Applications/Foo.app/Contents/Resources/Foo.icns"_mac, icnsBytes(Qt::red));

    const QIcon placeholder = m_provider.icon(foo);
    EXPECT_EQ(placeholder.cacheKey(), m_provider.genericAppIcon().cacheKey());
    const QIcon icon = loaded(foo);
    EXPECT_EQ(centre(icon).rgb(), QColor(Qt::red).rgb());
    expectStagesOnTheirThreads();
    std::lock_guard lock(m_mutex);
    EXPECT_NE(std::find(m_stages.begin(), m_stages.end(), std::pair{Stage::decode, false}),
              m_stages.end());
}

TEST_F(AppIconProviderTest, BadIconsGiveTheGenericIcon)
{
    m_mac.write("/etc/x"_mac, icnsBytes(Qt::green));
    const MacPath notAnImage = app("/Applications/Text.app", "Text.icns");
    m_mac.write("/Applications/Text.app/Contents/Resources/Text.icns"_mac, "not an image at all");
    const MacPath climbing = app("/Applications/Climb.app", "../../../../etc/x");
    const MacPath missing = app("/Applications/Missing.app", "Nothing");
    const MacPath none = app("/Applications/None.app", PlistValue::Dictionary{});
    const MacPath huge = app("/Applications/Huge.app", "Huge");
    m_mac.write("/Applications/Huge.app/Contents/Resources/Huge.icns"_mac,
                std::string(AppIconProvider::kMaxIconFileBytes + 1, 'i'));
    const qint64 generic = m_provider.genericAppIcon().cacheKey();
    for (const MacPath& path : {notAnImage, climbing, missing, none, huge})
        EXPECT_EQ(loaded(path).cacheKey(), generic) << path.path();
    expectStagesOnTheirThreads();
}

TEST_F(AppIconProviderTest, LookupNeverTouchesTheDiskAndAChangeBringsOneReady)
{
    const MacPath foo = app("/Applications/Foo.app", "Foo.icns");
    const MacPath iconFile = "/Applications/Foo.app/Contents/Resources/Foo.icns"_mac;
    m_mac.write(iconFile, icnsBytes(Qt::red));
    loaded(foo);

    // Gone from disk: the lookup still answers what it knows, and loads nothing.
    m_mac.write(iconFile, icnsBytes(Qt::blue, 32));
    {
        std::lock_guard lock(m_mutex);
        m_stages.clear();
    }
    QSignalSpy ready(&m_provider, &AppIconProvider::iconReady);
    EXPECT_EQ(centre(m_provider.icon(foo)).rgb(), QColor(Qt::red).rgb());
    EXPECT_FALSE(ready.wait(200));
    {
        std::lock_guard lock(m_mutex);
        EXPECT_TRUE(m_stages.empty());
    }

    // A refresh sees the new size and time: one ready, the new icon.
    m_provider.refresh(foo);
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_EQ(centre(m_provider.icon(foo)).rgb(), QColor(Qt::blue).rgb());
    // An unchanged file: read (stat) again, no decode, no ready.
    m_provider.refresh(foo);
    EXPECT_FALSE(ready.wait(300));
    EXPECT_EQ(ready.size(), 1);
}

TEST_F(AppIconProviderTest, OtherPathsGetTheStyleIcons)
{
    m_mac.mkdir("/Library/Caches/Foo"_mac);
    m_mac.write("/Library/Logs/foo.log"_mac, "log");
    const QIcon folder = loaded("/Library/Caches/Foo"_mac);
    const QIcon file = loaded("/Library/Logs/foo.log"_mac);
    EXPECT_FALSE(folder.isNull());
    EXPECT_FALSE(file.isNull());
    EXPECT_NE(folder.cacheKey(), file.cacheKey());
    expectStagesOnTheirThreads();
}

} // namespace
} // namespace veldo::platform::qt
