// The shared look: category colours, colour mixing, pill labels, badge geometry, symbol glyphs.
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRawFont>

#include "app/core/LeftoverCategory.h"
#include "app/ui/CategoryBadge.h"
#include "app/ui/CategoryBadgePainter.h"
#include "app/ui/CategoryTint.h"
#include "app/ui/ColorMix.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"
#include "base/RawValue.h"

namespace veldo::ui {
namespace {

using core::LeftoverCategory;

TEST(CategoryTint, FollowsTheTableWithRedShared)
{
    const std::tuple<LeftoverCategory, SystemColor> table[] = {
        {LeftoverCategory::application, SystemColor::blue},
        {LeftoverCategory::supportFiles, SystemColor::indigo},
        {LeftoverCategory::caches, SystemColor::orange},
        {LeftoverCategory::preferences, SystemColor::gray},
        {LeftoverCategory::containers, SystemColor::purple},
        {LeftoverCategory::groupContainers, SystemColor::pink},
        {LeftoverCategory::savedState, SystemColor::teal},
        {LeftoverCategory::logs, SystemColor::brown},
        {LeftoverCategory::launchAgents, SystemColor::red},
        {LeftoverCategory::cookies, SystemColor::yellow},
        {LeftoverCategory::webData, SystemColor::cyan},
        {LeftoverCategory::receipts, SystemColor::mint},
        {LeftoverCategory::crashReports, SystemColor::red},
    };
    std::set<QRgb> light;
    for (const auto& [category, colour] : table) {
        EXPECT_EQ(categoryTint(category), colour) << base::rawValue(category);
        light.insert(SystemColors::color(categoryTint(category), ColorScheme::light).rgba());
    }
    EXPECT_EQ(light.size(), 12u);
    EXPECT_NE(SystemColors::color(SystemColor::red, ColorScheme::light),
              SystemColors::color(SystemColor::red, ColorScheme::dark));
}

TEST(SystemColors, AppearanceFollowsThePaletteWindowColour)
{
    EXPECT_EQ(SystemColors::colorScheme(SystemColors::palette(ColorScheme::dark)),
              ColorScheme::dark);
    EXPECT_EQ(SystemColors::colorScheme(SystemColors::palette(ColorScheme::light)),
              ColorScheme::light);
    QPalette grey;
    grey.setColor(QPalette::Window, QColor(100, 100, 100));
    EXPECT_EQ(SystemColors::colorScheme(grey), ColorScheme::dark);
}

TEST(TextStyle, SizesAndWeightsFollowTheAppFont)
{
    QFont base;
    base.setPointSizeF(13);
    const struct
    {
        TextStyle style;
        double points;
        bool bold;
    } cases[] = {
        {TextStyle::largeTitle, 26, false}, {TextStyle::title2, 17, false},
        {TextStyle::title3, 15, false},     {TextStyle::headline, 13, true},
        {TextStyle::body, 13, false},       {TextStyle::callout, 12, false},
        {TextStyle::caption, 10, false},
    };
    for (const auto& c : cases) {
        const QFont font = textFont(c.style, base);
        EXPECT_DOUBLE_EQ(font.pointSizeF(), c.points) << static_cast<int>(c.style);
        EXPECT_EQ(font.weight() >= QFont::Bold, c.bold) << static_cast<int>(c.style);
    }
    base.setPointSizeF(26);
    EXPECT_DOUBLE_EQ(textFont(TextStyle::callout, base).pointSizeF(), 24);
}

TEST(MixColor, ClampsTheFractionAndBlendsInSrgb)
{
    const QColor base(200, 100, 0);
    const QColor other(0, 0, 255, 127);
    const struct
    {
        double fraction;
        QColor expected;
    } cases[] = {
        {0.0, base},
        {1.0, other},
        {-0.5, base},
        {1.7, other},
        {0.5, QColor(100, 50, 128, 191)},
        {std::numeric_limits<double>::quiet_NaN(), base},
    };
    for (const auto& c : cases) {
        const QColor mixed = mixColor(base, other, c.fraction);
        EXPECT_NEAR(mixed.red(), c.expected.red(), 1) << c.fraction;
        EXPECT_NEAR(mixed.green(), c.expected.green(), 1) << c.fraction;
        EXPECT_NEAR(mixed.blue(), c.expected.blue(), 1) << c.fraction;
        EXPECT_NEAR(mixed.alpha(), c.expected.alpha(), 1) << c.fraction;
    }
    // A colour without an sRGB form leaves the base.
    EXPECT_EQ(mixColor(base, QColor(), 0.5), base);
    // A colour given in another model is converted first.
    EXPECT_EQ(mixColor(QColor(Qt::white), QColor::fromCmykF(0, 0, 0, 1), 1.0).rgb(),
              QColor(Qt::black).rgb());
}

TEST(PillForeground, FollowsTheFourRows)
{
    const QColor tint(255, 149, 0);
    const auto rgb = [](const QColor& c) { return c.toRgb().rgba(); };
    EXPECT_EQ(rgb(pillForeground(tint, ColorScheme::dark, ColorContrast::standard)), rgb(tint));
    EXPECT_EQ(rgb(pillForeground(tint, ColorScheme::dark, ColorContrast::increased)),
              rgb(mixColor(tint, Qt::white, 0.3)));
    EXPECT_EQ(rgb(pillForeground(tint, ColorScheme::light, ColorContrast::standard)),
              rgb(mixColor(tint, Qt::black, 0.35)));
    EXPECT_EQ(rgb(pillForeground(tint, ColorScheme::light, ColorContrast::increased)),
              rgb(mixColor(tint, Qt::black, 0.55)));
    // Light increased is darker than light standard; dark increased lighter than the tint.
    EXPECT_LT(pillForeground(tint, ColorScheme::light, ColorContrast::increased).lightness(),
              pillForeground(tint, ColorScheme::light, ColorContrast::standard).lightness());
    EXPECT_GT(pillForeground(tint, ColorScheme::dark, ColorContrast::increased).lightness(),
              tint.lightness());
}

// How many pixels of the widget as painted now are `colour`, up to rounding.
int paintedPixels(QWidget& widget, const QColor& colour)
{
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) <= 2 &&
                             std::abs(c.green() - colour.green()) <= 2 &&
                             std::abs(c.blue() - colour.blue()) <= 2
                         ? 1
                         : 0;
        }
    return count;
}

TEST(TintedPill, LabelColourFollowsThePaletteAppearance)
{
    const QColor tint = SystemColors::color(SystemColor::teal, ColorScheme::dark);
    TintedPill pill(QStringLiteral("High"), tint, 0.18, QMargins(6, 2, 6, 2));
    const QSize text = pill.fontMetrics().size(Qt::TextSingleLine, QStringLiteral("High"));
    EXPECT_EQ(pill.sizeHint(), text + QSize(12, 4));

    // Large bold glyphs: the inside of their strokes is the label colour itself.
    QFont large = pill.font();
    large.setPixelSize(40);
    large.setBold(true);
    pill.setFont(large);
    pill.resize(pill.sizeHint());
    pill.setPalette(SystemColors::palette(ColorScheme::dark));
    EXPECT_GT(paintedPixels(pill, tint), 20);
    pill.setPalette(SystemColors::palette(ColorScheme::light));
    EXPECT_GT(paintedPixels(pill, mixColor(tint, Qt::black, 0.35)), 20);
    EXPECT_EQ(paintedPixels(pill, tint), 0);
}

TEST(CategoryBadge, GeometryScalesWithTheSize)
{
    const auto g = CategoryBadgePainter::geometry(20);
    EXPECT_DOUBLE_EQ(g.cornerRadius, 5.6);
    EXPECT_DOUBLE_EQ(g.symbolPointSize, 10);

    // The painted badge: the tint's gradient in the middle, white symbol over it, clear corners.
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        CategoryBadgePainter::paint(p, QRectF(10, 10, 20, 20), LeftoverCategory::caches,
                                    ColorScheme::light);
    }
    const QColor orange = SystemColors::color(SystemColor::orange, ColorScheme::light);
    const QColor edge = image.pixelColor(12, 28); // inside, below the symbol
    EXPECT_NEAR(edge.red(), orange.red(), 30);
    EXPECT_NEAR(edge.green(), orange.green(), 30);
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 10);
    EXPECT_LT(image.pixelColor(10, 10).alpha(), 200); // the rounded corner lets the shadow show

    CategoryBadge widget(LeftoverCategory::logs, 20);
    EXPECT_GE(widget.sizeHint().width(), 20 + 2 * 3);
}

// The fonts must hold every glyph: a missing one would paint an empty box.
TEST(SymbolImage, EveryNameHasAGlyphInTheBundledFonts)
{
    const QRawFont dejaVu = QRawFont::fromFont(SymbolImage::font(20));
    QFont symbola(QStringLiteral("Symbola"));
    symbola.setPixelSize(20);
    ASSERT_EQ(QFontInfo(symbola).family(), QStringLiteral("Symbola"))
        << "fonts-symbola is missing (scripts/setup installs it)";
    ASSERT_EQ(QFontInfo(SymbolImage::font(20)).family(), QStringLiteral("DejaVu Sans"));
    const QRawFont symbolaRaw = QRawFont::fromFont(symbola);

    // Every symbol a window names, the categories' own included.
    std::vector<std::string> wanted = {"checkmark.circle.fill",
                                       "gearshape",
                                       "lock.shield",
                                       "person.badge.key",
                                       "arrow.triangle.2.circlepath",
                                       "trash.slash",
                                       "circle",
                                       "clock.fill",
                                       "exclamationmark.circle.fill",
                                       "checkmark.seal.fill",
                                       "checkmark.shield.fill",
                                       "hammer.circle.fill",
                                       "hand.raised.fill",
                                       "gearshape.fill",
                                       "lock.shield.fill",
                                       "exclamationmark.triangle.fill",
                                       "arrow.up.forward.app",
                                       "arrow.uturn.backward",
                                       "info.circle.fill",
                                       "xmark.circle.fill",
                                       "hand.draw.fill",
                                       "square.stack.3d.up.fill",
                                       "wrench.and.screwdriver.fill",
                                       "questionmark.folder.fill",
                                       "trash.fill",
                                       "internaldrive",
                                       "trash",
                                       "app.badge.checkmark",
                                       "questionmark.circle.fill",
                                       "play.circle.fill",
                                       "trash.circle.fill",
                                       "key.fill",
                                       "lock.fill",
                                       "mug.fill",
                                       "apple.logo",
                                       "doc.on.doc",
                                       "square.and.arrow.up",
                                       "magnifyingglass.circle.fill",
                                       "1.circle.fill",
                                       "house",
                                       "checkmark",
                                       "checklist"};
    for (LeftoverCategory c : base::allCases<LeftoverCategory>())
        wanted.emplace_back(core::symbolName(c));
    for (const std::string& name : wanted) {
        const auto text = SymbolImage::glyph(name);
        ASSERT_TRUE(text.has_value()) << name;
        for (char32_t cp : text->toUcs4())
            EXPECT_TRUE(dejaVu.supportsCharacter(cp) || symbolaRaw.supportsCharacter(cp))
                << name << " U+" << std::hex << static_cast<unsigned>(cp);
    }
    EXPECT_FALSE(SymbolImage::glyph("no.such.symbol").has_value());
    for (std::string_view name : SymbolImage::names())
        EXPECT_TRUE(SymbolImage::glyph(name).has_value()) << name;
}

TEST(SymbolImage, PaintsInTheTint)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        SymbolImage::paint(p, image.rect(), "bolt.fill", QColor(255, 0, 0), SymbolImage::font(28));
        SymbolImage::paint(p, image.rect(), "no.such.symbol", QColor(0, 0, 255),
                           SymbolImage::font(28));
    }
    int red = 0;
    int blue = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.alpha() > 128 && c.red() > 200 ? 1 : 0;
            blue += c.alpha() > 0 && c.blue() > 0 ? 1 : 0;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(blue, 0);
}

} // namespace
} // namespace veldo::ui
