// veldo_tour: paints every view and state of the windows into PNG files, for people to look at
// and for CI to check that none comes out blank.
//
// Usage: veldo_tour MAC_ROOT OUTPUT_FOLDER. The Mac root is a folder that stands in for the Mac
// (it is only read from, apart from the controller's defaults in its home folder). Exits 1 when a
// picture is blank or cannot be written, 2 on bad arguments.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSet>
#include <QStyleFactory>
#include <QVBoxLayout>

#include "app/core/LeftoverCategory.h"
#include "app/ui/CategoryBadge.h"
#include "app/ui/CategoryTint.h"
#include "app/ui/NoticeBanner.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/SpringAnimation.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"
#include "app/ui/WelcomeView.h"
#include "base/RawValue.h"
#include "tests/ui/UiFixtures.h"

namespace {

using namespace veldo;
using ui::ColorScheme;

struct Shot
{
    QString name;
    ColorScheme scheme;
    QSize size;
    std::function<QWidget*(QWidget* host)> make; // the view, a child of host
};

// Blank: one colour, or nearly (a background with a stray pixel).
bool isBlank(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 8)
                return false;
        }
    return true;
}

QWidget* bannerHost(QWidget* host, QWidget* banner)
{
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(banner, 0, Qt::AlignHCenter | Qt::AlignTop);
    layout->addStretch(1);
    return banner;
}

QWidget* gallery(QWidget* host)
{
    auto* grid = new QGridLayout(host);
    grid->setContentsMargins(24, 24, 24, 24);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(10);
    const ColorScheme scheme = ui::SystemColors::colorScheme(host->palette());
    int row = 0;
    for (core::LeftoverCategory c : base::allCases<core::LeftoverCategory>()) {
        grid->addWidget(new ui::CategoryBadge(c, 20, host), row, 0);
        grid->addWidget(new ui::CategoryBadge(c, 32, host), row, 1);
        const QString title =
            QString::fromUtf8(core::title(c).data(), static_cast<qsizetype>(core::title(c).size()));
        auto* pill = new ui::TintedPill(title, ui::SystemColors::color(ui::categoryTint(c), scheme),
                                        0.16, QMargins(8, 2, 8, 2), host);
        pill->setFont(ui::textFont(ui::TextStyle::caption, host->font()));
        grid->addWidget(pill, row, 2, Qt::AlignLeft);
        auto* label = new QLabel(QString::fromUtf8(base::rawValue(c).data()), host);
        grid->addWidget(label, row, 3);
        ++row;
    }
    grid->setColumnStretch(4, 1);
    return host;
}

std::vector<Shot> shots(testsupport::UiController& controller)
{
    std::vector<Shot> list;
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString suffix = scheme == ColorScheme::dark ? QStringLiteral("-dark") : QString();
        for (const auto& named : testsupport::bannerGallery()) {
            list.push_back({QStringLiteral("result-banner-%1%2")
                                .arg(QString::fromStdString(named.name), suffix),
                            scheme,
                            {760, 130},
                            [outcome = named.outcome](QWidget* host) {
                                auto* banner = new ui::ResultBanner(host);
                                banner->setOutcome(outcome);
                                return bannerHost(host, banner);
                            }});
        }
        list.push_back({QStringLiteral("result-banner-undoing%1").arg(suffix),
                        scheme,
                        {760, 130},
                        [](QWidget* host) {
                            auto* banner = new ui::ResultBanner(host);
                            banner->setOutcome(testsupport::bannerGallery().front().outcome);
                            banner->setUndoing(true);
                            return bannerHost(host, banner);
                        }});
        list.push_back(
            {QStringLiteral("notice-banner%1").arg(suffix), scheme, {600, 100}, [](QWidget* host) {
                 auto* banner = new ui::NoticeBanner(host);
                 banner->setMessage(QStringLiteral(
                     "“Quill” was moved to the Trash in Finder. 3 leftover items remain."));
                 return bannerHost(host, banner);
             }});
        list.push_back({QStringLiteral("badges-and-pills%1").arg(suffix),
                        scheme,
                        {520, 560},
                        [](QWidget* host) { return gallery(host); }});
    }
    list.push_back(
        {QStringLiteral("welcome"), ColorScheme::light, {720, 760}, [&controller](QWidget* host) {
             controller.stats->setTotalItemsRemoved(0);
             controller.model->setIsScanningApps(false);
             auto* view = new ui::WelcomeView(controller.model.get(), host);
             (new QVBoxLayout(host))->addWidget(view);
             return view;
         }});
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
        list.push_back({scheme == ColorScheme::dark ? QStringLiteral("welcome-statistics-dark")
                                                    : QStringLiteral("welcome-statistics"),
                        scheme,
                        {720, 860},
                        [&controller](QWidget* host) {
                            controller.stats->setTotalBytesReclaimed(12'480'000'000);
                            controller.stats->setTotalItemsRemoved(1342);
                            controller.stats->setTotalAppsCleaned(27);
                            controller.model->setIsScanningApps(true);
                            auto* view = new ui::WelcomeView(controller.model.get(), host);
                            (new QVBoxLayout(host))->addWidget(view);
                            return view;
                        }});
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: veldo_tour MAC_ROOT OUTPUT_FOLDER\n");
        return 2;
    }
    const QString root = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!QFileInfo(root).isDir() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "veldo_tour: %s is no folder, or %s cannot be made\n", argv[1],
                     argv[2]);
        return 2;
    }
    qputenv("VELDO_MAC_ROOT", root.toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ui::setAnimationsEnabled(false);

    testsupport::UiController controller;
    int failures = 0;
    for (const Shot& shot : shots(controller)) {
        QWidget host;
        host.setAttribute(Qt::WA_DontShowOnScreen, false);
        host.setPalette(ui::SystemColors::palette(shot.scheme));
        host.setAutoFillBackground(true);
        shot.make(&host);
        host.resize(shot.size.expandedTo(host.sizeHint()));
        host.show();
        QApplication::processEvents();
        // Wrapped texts settle their height once laid out at their real width.
        host.resize(host.size().expandedTo(host.sizeHint()));
        QApplication::processEvents();
        const QImage image = host.grab().toImage();
        host.hide();
        const QString file = QDir(out).filePath(shot.name + QStringLiteral(".png"));
        if (isBlank(image)) {
            std::fprintf(stderr, "veldo_tour: %s is blank\n", qPrintable(shot.name));
            ++failures;
        } else if (!image.save(file)) {
            std::fprintf(stderr, "veldo_tour: cannot write %s\n", qPrintable(file));
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(file));
        }
    }
    return failures == 0 ? 0 : 1;
}
