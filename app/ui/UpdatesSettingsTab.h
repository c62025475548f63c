// UpdatesSettingsTab: the "Updates" tab of the Settings window.
//
// A grouped form over an UpdaterController. Section "Software Update": the toggle "Automatically
// check for updates" and the toggle "Automatically download and install updates" (both bound
// two-way to the controller's mirrors; the second enabled only while automatic checks are on and
// the updater allows automatic updates, keeping its value while disabled), then a row with
// "Check Now" (enabled while the controller can check) and, at the trailing edge and only when
// the updater has checked before, "Last checked " and the date; the footer names the feed's host
// and what a check sends. A second section shows "Version" with appVersionString(). The tab
// follows the controller's changes and starts nothing when shown. The controller must outlive
// the tab. GUI thread only.
#pragma once

#include <optional>

#include <QDateTime>
#include <QLocale>
#include <QWidget>

#include "platform/PlistValue.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace veldo::ui {

class UpdaterController;

class UpdatesSettingsTab : public QWidget
{
    Q_OBJECT
public:
    // Reads Veldo's Info.plist once, for the version and the feed's host.
    explicit UpdatesSettingsTab(UpdaterController& updater, QWidget* parent = nullptr);
    // The same with an Info dictionary already read (none: no Info.plist).
    UpdatesSettingsTab(UpdaterController& updater, const std::optional<platform::PlistValue>& info,
                       QWidget* parent = nullptr);

    // "1.4 (27)" from an Info dictionary's "CFBundleShortVersionString" and "CFBundleVersion";
    // "—" stands for a value that is missing or not text, and for both without a dictionary.
    static QString appVersionString(const std::optional<platform::PlistValue>& info);
    // The host a check contacts; "this Mac" for a feed without one (a file on this Mac).
    static QString feedHost(const std::optional<platform::PlistValue>& info);
    // "Last checked " and `date` in `locale`'s abbreviated date and short time.
    static QString lastCheckedText(const QDateTime& date, const QLocale& locale = QLocale());

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void applyColors();

    UpdaterController& m_updater;
    QCheckBox* m_checkToggle = nullptr;
    QCheckBox* m_downloadToggle = nullptr;
    QPushButton* m_checkNow = nullptr;
    QLabel* m_lastChecked = nullptr;
    QLabel* m_footer = nullptr;
    QLabel* m_header = nullptr;
    QLabel* m_version = nullptr;
    bool m_refreshing = false;
};

} // namespace veldo::ui
