// CaskFailureSheet: reports a Homebrew cask uninstall that failed or did not finish: Homebrew's
// message, the command to run in Terminal with a copy button, and Homebrew's output behind a
// disclosure that starts collapsed.
//
// Built once from its failure. "Copy Command" puts exactly the command on the clipboard, then
// reads "Copied" for as long as the sheet lives; each further press copies again. "OK", Return,
// Esc and the window's close button call `dismiss`; the presenter closes the sheet. GUI thread.
#pragma once

#include <functional>

#include <QDialog>

#include "app/controller/CaskFailure.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace veldo::ui {

class SymbolTitle;

class CaskFailureSheet final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 560;
    static constexpr int kOutputMaximumHeight = 160;

    CaskFailureSheet(controller::CaskFailure failure, std::function<void()> dismiss,
                     QWidget* parent = nullptr);

    // Clears the clipboard, puts the command on it as text and marks it copied.
    void copyCommand();

    QString title() const;

    void reject() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    // The disclosure's action: shows or hides Homebrew's output.
    void setShowOutput(bool show);
    void applyCopyLook();

    controller::CaskFailure m_failure;
    std::function<void()> m_dismiss;
    bool m_copied = false;
    bool m_showOutput = false;
    SymbolTitle* m_title;
    QLabel* m_message;
    QLabel* m_commandIntro;
    QLabel* m_command;
    QPushButton* m_copy;
    QLabel* m_rescan;
    QToolButton* m_disclosure = nullptr;
    QPlainTextEdit* m_output = nullptr;
    QPushButton* m_ok;
};

} // namespace veldo::ui
