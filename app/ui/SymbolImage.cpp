// Symbol names to glyphs, and their painting.
#include "app/ui/SymbolImage.h"

#include <algorithm>
#include <utility>

#include <QPixmap>

namespace veldo::ui::SymbolImage {

namespace {

struct Entry
{
    std::string_view name;
    char32_t codePoints[4];
};

// Sorted by name.
constexpr Entry kSymbols[] = {
    {"1.circle.fill", {0x278A}},
    {"2.circle.fill", {0x278B}},
    {"3.circle.fill", {0x278C}},
    {"4.circle.fill", {0x278D}},
    {"5.circle.fill", {0x278E}},
    {"a.circle.fill", {0x24B6}},
    {"app.badge.checkmark", {0x2611}},
    {"app.dashed", {0x2B1A}},
    {"apple.logo", {0x1F34E}},
    {"arrow.clockwise", {0x21BB}},
    {"arrow.down.app.fill", {0x2913}},
    {"arrow.triangle.2.circlepath", {0x21BB}},
    {"arrow.up.forward.app", {0x2197}},
    {"arrow.uturn.backward", {0x21B6}},
    {"arrow.uturn.backward.circle.fill", {0x21B6}},
    {"bolt.fill", {0x26A1}},
    {"checklist", {0x2630}},
    {"checkmark", {0x2713}},
    {"checkmark.circle.fill", {0x2714}},
    {"checkmark.seal.fill", {0x1F5F9}},
    {"checkmark.shield.fill", {0x1F6E1}},
    {"chevron.left", {0x276E}},
    {"chevron.left.forwardslash.chevron.right", {U'<', U'/', U'>'}},
    {"circle", {0x25CB}},
    {"circle.grid.cross.fill", {0x1F36A}},
    {"clock.badge.checkmark", {0x1F553}},
    {"clock.fill", {0x1F552}},
    {"cloud.fill", {0x2601}},
    {"cube.box.fill", {0x1F4E6}},
    {"cup.and.saucer.fill", {0x2615}},
    {"diamond.fill", {0x25C6}},
    {"doc.badge.gearshape", {0x1F4CB}},
    {"doc.on.doc", {0x2398}},
    {"doc.text.fill", {0x1F4C4}},
    {"ellipsis.circle", {0x22EF}},
    {"exclamationmark.circle.fill", {0x2757}},
    {"exclamationmark.triangle.fill", {0x26A0}},
    {"externaldrive.fill", {0x1F5B4}},
    {"f.circle.fill", {0x24BB}},
    {"folder.fill", {0x1F4C1}},
    {"gearshape", {0x2699}},
    {"gearshape.2.fill", {0x2699, 0x2699}},
    {"gearshape.fill", {0x2699}},
    {"globe", {0x1F310}},
    {"hammer.circle.fill", {0x1F528}},
    {"hammer.fill", {0x1F528}},
    {"hand.draw.fill", {0x270D}},
    {"hand.raised.fill", {0x270B}},
    {"hexagon.fill", {0x2B22}},
    {"house", {0x2302}},
    {"info.circle.fill", {0x24D8}},
    {"internaldrive", {0x1F5B4}},
    {"key.fill", {0x1F511}},
    {"ladybug.fill", {0x1F41E}},
    {"leaf.fill", {0x1F343}},
    {"line.3.horizontal.decrease.circle", {0x2630}},
    {"lock.fill", {0x1F512}},
    {"lock.shield", {0x1F6E1}},
    {"lock.shield.fill", {0x1F512}},
    {"macwindow", {0x1F5D4}},
    {"magnifyingglass", {0x1F50D}},
    {"magnifyingglass.circle.fill", {0x1F50D}},
    {"mug.fill", {0x2615}},
    {"n.circle.fill", {0x24C3}},
    {"p.circle.fill", {0x24C5}},
    {"person.badge.key", {0x1F511}},
    {"play.circle.fill", {0x25B6}},
    {"questionmark.circle.fill", {0x2753}},
    {"questionmark.folder.fill", {0x1F4C2}},
    {"shippingbox", {0x1F4E6}},
    {"shippingbox.fill", {0x1F4E6}},
    {"square.and.arrow.up", {0x21A5}},
    {"square.stack.3d.up", {0x29C9}},
    {"square.stack.3d.up.fill", {0x29C9}},
    {"tortoise.fill", {0x1F422}},
    {"trash", {0x1F5D1}},
    {"trash.circle.fill", {0x1F5D1}},
    {"trash.fill", {0x1F5D1}},
    {"trash.slash", {0x1F6AB}},
    {"wrench.and.screwdriver.fill", {0x1F6E0}},
    {"xmark.bin.fill", {0x1F5D1}},
    {"xmark.circle.fill", {0x2297}},
};

} // namespace

std::optional<QString> glyph(std::string_view name)
{
    const auto* end = std::end(kSymbols);
    const auto* found =
        std::lower_bound(std::begin(kSymbols), end, name,
                         [](const Entry& e, std::string_view n) { return e.name < n; });
    if (found == end || found->name != name)
        return std::nullopt;
    QString text;
    for (char32_t cp : found->codePoints) {
        if (cp == 0)
            break;
        text += QString::fromUcs4(&cp, 1);
    }
    return text;
}

const std::vector<std::string_view>& names()
{
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> all;
        for (const Entry& e : kSymbols)
            all.push_back(e.name);
        return all;
    }();
    return kNames;
}

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Symbola")});
    f.setPixelSize(std::max(1, pixelSize));
    f.setWeight(weight);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void paint(QPainter& painter, const QRectF& frame, std::string_view name, const QColor& tint,
           const QFont& symbolFont)
{
    const std::optional<QString> text = glyph(name);
    if (!text)
        return;
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(symbolFont);
    painter.setPen(tint);
    painter.drawText(frame, Qt::AlignCenter, *text);
    painter.restore();
}

QIcon icon(std::string_view name, const QColor& tint, int edge)
{
    QPixmap pixmap(edge * 2, edge * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        paint(painter, QRectF(0, 0, edge, edge), name, tint, font(edge));
    }
    return QIcon(pixmap);
}

} // namespace veldo::ui::SymbolImage
