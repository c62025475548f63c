// PermissionRow: one privacy permission in the Permissions tab: its title, an optional status in
// the secondary colour, a button that opens the permission's settings, and a caption explanation
// below. The button's accessible name is "Open <title> Settings"; the row's is "<title>: <status>"
// with a status, else the title. GUI thread.
#pragma once

#include <functional>
#include <optional>

#include <QWidget>

class QLabel;
class QPushButton;

namespace veldo::ui {

class PermissionRow : public QWidget
{
    Q_OBJECT
public:
    PermissionRow(QString title, std::optional<QString> status, QString explanation,
                  QString buttonTitle, std::function<void()> action, QWidget* parent = nullptr);

    const QString& title() const { return m_title; }
    const std::optional<QString>& status() const { return m_status; }
    // Shows a new status (the row's accessible name follows).
    void setStatus(std::optional<QString> status);

    static QString accessibleLabel(const QString& title, const std::optional<QString>& status);

private:
    QString m_title;
    std::optional<QString> m_status;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_button = nullptr;
};

} // namespace veldo::ui
