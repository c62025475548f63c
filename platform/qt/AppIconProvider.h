// AppIconProvider: the file-manager icons of Mac paths, for icon views.
//
// An app bundle shows its CFBundleIconFile (".icns" added when the name has none) from
// Contents/Resources, decoded with Qt's image plugins; a bundle without a readable icon shows a
// painted generic app icon. Other paths show the style's folder or file icon.
//
// Threads: icon() and everything else public runs on the GUI thread. A lookup goes by the Mac path
// alone and never touches the disk: an unknown path answers the generic icon at once and queues a
// load. Loads run on the provider's own two threads, which read, stat and decode into a QImage
// only; the pixmap and icon are made on the GUI thread when the image arrives, and iconReady(path)
// follows whenever the icon shown for the path changed. refresh() loads again: the loader compares
// the icon file's modification time and size and reports a change only when they differ.
// The destructor drops queued loads and waits for the running ones.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QThreadPool>

#include "platform/MacPath.h"

namespace veldo::platform::qt {

class AppIconProvider final : public QObject
{
    Q_OBJECT
public:
    // Icon files above this size are not read (the generic icon shows).
    static constexpr std::int64_t kMaxIconFileBytes = 16 * 1024 * 1024;
    // Decoded images are scaled down to this edge on the loader thread.
    static constexpr int kMaxEdge = 256;

    explicit AppIconProvider(QObject* parent = nullptr);
    ~AppIconProvider() override;

    QIcon icon(const MacPath& path);
    void refresh(const MacPath& path);

    // The painted icon of an app without one of its own.
    QIcon genericAppIcon();

    // Where a piece of work ran; tests watch the threads through it.
    enum class Stage
    {
        read,   // stat, Info.plist, icon bytes
        decode, // bytes to QImage
        pixmap  // QImage to QPixmap
    };
    // Called from any thread; the function must be thread-safe.
    void setThreadProbe(std::function<void(Stage, bool onGuiThread)> probe);

signals:
    void iconReady(const QString& macPath);

private:
    enum class Kind
    {
        application,
        folder,
        file
    };

    struct Signature
    {
        Kind kind = Kind::file;
        std::string iconFile; // empty: no readable icon of its own
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        std::int64_t size = 0;

        friend bool operator==(const Signature&, const Signature&) = default;
    };

    struct Loaded
    {
        Signature signature;
        QImage image; // null for folders, files and the generic icon
    };

    struct Entry
    {
        Signature signature;
        QIcon icon;
    };

    void queueLoad(const std::string& path, std::optional<Signature> known);
    Loaded load(const MacPath& path, const std::optional<Signature>& known) const;
    void apply(const std::string& path, const std::optional<Loaded>& loaded);
    QIcon placeholder(const MacPath& path);
    void probe(Stage stage) const;

    QThreadPool m_pool;
    std::unordered_map<std::string, Entry> m_cache;
    std::unordered_set<std::string> m_loading;
    QIcon m_generic;
    std::function<void(Stage, bool)> m_probe;
};

} // namespace veldo::platform::qt
