// Drawing the demo's app icons and packing them as .icns.
#include "demo/IcnsWriter.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace veldo::demo {

namespace {

void appendBigEndian32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

std::string pngOfIcon(int edge, const QColor& colour, const QString& letter)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal inset = edge * 0.06;
        const QRectF body(inset, inset, edge - 2 * inset, edge - 2 * inset);
        QLinearGradient fill(body.topLeft(), body.bottomLeft());
        fill.setColorAt(0, colour.lighter(125));
        fill.setColorAt(1, colour.darker(115));
        QPainterPath square;
        square.addRoundedRect(body, edge * 0.2, edge * 0.2);
        painter.fillPath(square, fill);
        QFont font;
        font.setPixelSize(static_cast<int>(edge * 0.5));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(colour.lightness() > 150 ? QColor(0x20, 0x20, 0x20) : QColor(Qt::white));
        painter.drawText(body, Qt::AlignCenter, letter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

} // namespace

std::string icnsIcon(std::uint32_t colour, std::string_view name)
{
    const QColor qColour(static_cast<int>((colour >> 16) & 0xFFu),
                         static_cast<int>((colour >> 8) & 0xFFu), static_cast<int>(colour & 0xFFu));
    const QString letter = name.empty() ? QString() : QString::fromUtf8(name.data(), 1).toUpper();
    std::string entries;
    for (const auto& [type, edge] : {std::pair{"ic07", 128}, std::pair{"ic08", 256}}) {
        const std::string png = pngOfIcon(edge, qColour, letter);
        entries.append(type, 4);
        appendBigEndian32(entries, static_cast<std::uint32_t>(png.size() + 8));
        entries += png;
    }
    std::string file = "icns";
    appendBigEndian32(file, static_cast<std::uint32_t>(entries.size() + 8));
    return file + entries;
}

} // namespace veldo::demo
