// AppRow: paints one app of the sidebar's list (icon, name, marks, subtitle) and the list's two
// section headers; answers the marks' tooltips where the pointer rests on them.
//
// Reads everything from the row's model roles (AppListModel) and the icon from the provider,
// which never touches the disk on the GUI thread. Long names are cut in the middle; the row's
// tooltip holds the full name. GUI thread.
#pragma once

#include <chrono>
#include <optional>

#include <QPointer>
#include <QStyledItemDelegate>

#include "app/core/InstalledApp.h"

namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class AppRow : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kIconSize = 30;
    static constexpr int kSpacing = 10;
    static constexpr int kVerticalPadding = 2;

    // More than this long since the last use (182 days) makes an app unused.
    static constexpr std::chrono::seconds kUnusedAfter{15'724'800};

    explicit AppRow(platform::qt::AppIconProvider* icons, QObject* parent = nullptr);

    // Unused: its last use is known and lies more than kUnusedAfter before `now`.
    static bool isUnused(const core::InstalledApp& app, core::Date now);
    // The size when measured; else "Used " and how long ago; else "Ready to scan".
    static QString subtitle(const core::InstalledApp& app, core::Date now);

    static QString systemAppHelp() { return QStringLiteral("Comes with macOS"); }
    static QString caskHelp(const QString& token)
    {
        return QStringLiteral("Installed with Homebrew (") + token + QStringLiteral(")");
    }
    static QString unusedHelp() { return QStringLiteral("Not opened in over six months"); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    // The selection highlight of a selectable row, shared with the tool rows.
    static void paintBackground(QPainter* painter, const QStyleOptionViewItem& option);

private:
    struct Mark
    {
        QRectF frame;
        QString help;
    };
    struct Layout
    {
        QRectF icon;
        QRectF name;
        QString shownName;
        std::vector<Mark> marks;
        QRectF subtitle;
    };
    Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintHeader(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const;

    QPointer<platform::qt::AppIconProvider> m_icons;
};

} // namespace veldo::ui
