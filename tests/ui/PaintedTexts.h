// paintedTexts(widget): the texts a widget paints, in the order it draws them, each with its pen
// colour. The widget is rendered onto a device whose paint engine keeps the text items it is
// handed and draws nothing, so a test reads what the user would see written without comparing
// pixels. GUI thread; the widget paints as it would on screen (size, palette, fonts).
#pragma once

#include <climits>

#include <QColor>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QString>
#include <QWidget>

namespace veldo::testsupport {

struct PaintedText
{
    QString text;
    QColor color;
};

namespace detail {

class TextRecordingEngine final : public QPaintEngine
{
public:
    TextRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& changed) override
    {
        if (changed.state() & QPaintEngine::DirtyPen)
            m_pen = changed.pen().color();
    }

    void drawTextItem(const QPointF&, const QTextItem& item) override
    {
        texts.push_back({item.text(), m_pen});
    }

    // Everything else is drawn nowhere.
    void drawRects(const QRect*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawEllipse(const QRect&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override
    {
    }

    QList<PaintedText> texts;

private:
    QColor m_pen;
};

class TextRecordingDevice final : public QPaintDevice
{
public:
    explicit TextRecordingDevice(QSize size) : m_size(size) {}

    QPaintEngine* paintEngine() const override { return &m_engine; }
    const QList<PaintedText>& texts() const { return m_engine.texts; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / 960;
        case PdmHeightMM:
            return m_size.height() * 254 / 960;
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }

private:
    QSize m_size;
    mutable TextRecordingEngine m_engine;
};

} // namespace detail

inline QList<PaintedText> paintedTexts(QWidget& widget)
{
    detail::TextRecordingDevice device(widget.size());
    {
        QPainter painter(&device);
        widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    return device.texts();
}

} // namespace veldo::testsupport
