// BatchAppRow: one app of the batch screen: the include checkbox (every click flips the app's
// inclusion in the controller; disabled for a protected app or one without safe-default items),
// the app's icon, its name with the "Protected", "Running" and "Homebrew" pills that apply, the
// status line, and the size the batch removes of it. A protected row is drawn at 60 % opacity.
// The controller must outlive the row. GUI thread.
#pragma once

#include <cstdint>

#include <QWidget>

#include "app/controller/BatchAppResult.h"

class QCheckBox;
class QLabel;

namespace veldo::controller {
class UninstallViewModel;
}
namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class BatchAppRow : public QWidget
{
    Q_OBJECT
public:
    BatchAppRow(controller::UninstallViewModel& model, controller::BatchAppResult result,
                platform::qt::AppIconProvider* icons, QWidget* parent = nullptr);

    const controller::BatchAppResult& result() const { return m_result; }
    // Ticks the checkbox as the controller's inclusion says.
    void setIncluded(bool included);

    // "Protected — won’t be removed", "No safe-default items found", or the counted items with
    // " · includes app bundle" when the batch removes the bundle.
    static QString statusLine(const controller::BatchAppResult& result);
    // "Include <name>, <status line>, <size>".
    static QString accessibleLabel(const controller::BatchAppResult& result,
                                   std::int64_t selectedBytes);
    static QString homebrewHelp(const std::string& token);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    controller::BatchAppResult m_result;
    QCheckBox* m_checkbox = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_size = nullptr;
};

} // namespace veldo::ui
