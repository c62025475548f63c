// App and file icons: loaded off the GUI thread, turned into pixmaps on it.
#include "platform/qt/AppIconProvider.h"

#include <algorithm>

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QThread>

#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"

namespace veldo::platform::qt {

namespace {

bool onGuiThread()
{
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool isAppBundle(const MacPath& path)
{
    std::string ext = path.pathExtension();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == "app";
}

// A plain file name inside Contents/Resources: no folder parts, nothing that climbs out.
bool isPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

QImage paintGenericAppIcon(int edge)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(edge * 0.1, edge * 0.1, edge * 0.8, edge * 0.8);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, QColor(148, 160, 178));
    g.setColorAt(1, QColor(96, 108, 128));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, edge * 0.18, edge * 0.18);
    // Three white strokes of a drafting "A": the mark of an application.
    QPen pen(QColor(255, 255, 255, 235), edge * 0.07, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const QPointF top(edge * 0.5, edge * 0.27);
    p.drawLine(top, QPointF(edge * 0.32, edge * 0.72));
    p.drawLine(top, QPointF(edge * 0.68, edge * 0.72));
    p.drawLine(QPointF(edge * 0.39, edge * 0.56), QPointF(edge * 0.61, edge * 0.56));
    return image;
}

} // namespace

AppIconProvider::AppIconProvider(QObject* parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(2);
}

AppIconProvider::~AppIconProvider()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void AppIconProvider::setThreadProbe(std::function<void(Stage, bool)> probe)
{
    m_probe = std::move(probe);
}

void AppIconProvider::probe(Stage stage) const
{
    if (m_probe)
        m_probe(stage, onGuiThread());
}

QIcon AppIconProvider::genericAppIcon()
{
    Q_ASSERT(onGuiThread());
    if (m_generic.isNull()) {
        probe(Stage::pixmap);
        m_generic = QIcon(QPixmap::fromImage(paintGenericAppIcon(128)));
    }
    return m_generic;
}

QIcon AppIconProvider::placeholder(const MacPath& path)
{
    if (isAppBundle(path))
        return genericAppIcon();
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon AppIconProvider::icon(const MacPath& path)
{
    Q_ASSERT(onGuiThread());
    if (auto it = m_cache.find(path.path()); it != m_cache.end())
        return it->second.icon;
    queueLoad(path.path(), std::nullopt);
    return placeholder(path);
}

void AppIconProvider::refresh(const MacPath& path)
{
    Q_ASSERT(onGuiThread());
    std::optional<Signature> known;
    if (auto it = m_cache.find(path.path()); it != m_cache.end())
        known = it->second.signature;
    queueLoad(path.path(), known);
}

void AppIconProvider::queueLoad(const std::string& path, std::optional<Signature> known)
{
    if (!m_loading.insert(path).second)
        return;
    m_pool.start([this, path, known] {
        std::optional<Loaded> loaded = load(MacPath(path), known);
        QMetaObject::invokeMethod(
            this, [this, path, loaded = std::move(loaded)] { apply(path, loaded); },
            Qt::QueuedConnection);
    });
}

AppIconProvider::Loaded AppIconProvider::load(const MacPath& path,
                                              const std::optional<Signature>& known) const
{
    Q_ASSERT(!onGuiThread());
    probe(Stage::read);
    Loaded loaded;
    if (!isAppBundle(path)) {
        const auto status = fileStatus(path, FollowLinks::yes);
        loaded.signature.kind =
            status && status->type == FileType::directory ? Kind::folder : Kind::file;
        return loaded;
    }
    loaded.signature.kind = Kind::application;
    const MacPath contents = path.appendingPathComponent("Contents");
    const auto info =
        readPropertyListFile(contents.appendingPathComponent("Info.plist"), 1024u * 1024u);
    std::optional<std::string> name = info ? info->stringFor("CFBundleIconFile") : std::nullopt;
    if (!name || !isPlainFileName(*name))
        return loaded;
    if (MacPath(*name).pathExtension().empty())
        *name += ".icns";
    const MacPath iconFile =
        contents.appendingPathComponent("Resources").appendingPathComponent(*name);
    const auto status = fileStatus(iconFile, FollowLinks::yes);
    if (!status || status->type != FileType::regular || status->size > kMaxIconFileBytes)
        return loaded;
    Signature signature{Kind::application, iconFile.path(), status->modificationTime.seconds,
                        status->modificationTime.nanoseconds, status->size};
    if (known && *known == signature) {
        loaded.signature = signature;
        return loaded;
    }
    const auto bytes = readFile(iconFile, static_cast<std::size_t>(kMaxIconFileBytes));
    if (!bytes)
        return loaded;

    probe(Stage::decode);
    QByteArray data = QByteArray::fromStdString(*bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(64); // megabytes: a damaged header cannot ask for more
    QImage image = reader.read();
    if (image.isNull())
        return loaded;
    if (image.width() > kMaxEdge || image.height() > kMaxEdge)
        image = image.scaled(kMaxEdge, kMaxEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    loaded.signature = signature;
    loaded.image = std::move(image);
    return loaded;
}

void AppIconProvider::apply(const std::string& path, const std::optional<Loaded>& loaded)
{
    Q_ASSERT(onGuiThread());
    m_loading.erase(path);
    if (!loaded)
        return;
    auto it = m_cache.find(path);
    if (it != m_cache.end() && it->second.signature == loaded->signature)
        return; // the same icon file, or the same kind of placeholder

    QIcon icon;
    switch (loaded->signature.kind) {
    case Kind::application:
        if (loaded->image.isNull()) {
            icon = genericAppIcon();
        } else {
            probe(Stage::pixmap);
            icon = QIcon(QPixmap::fromImage(loaded->image));
        }
        break;
    case Kind::folder:
        icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        break;
    case Kind::file:
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        break;
    }
    m_cache[path] = Entry{loaded->signature, icon};
    emit iconReady(QString::fromStdString(path));
}

} // namespace veldo::platform::qt
