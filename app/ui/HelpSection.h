// HelpSection: one card of the Help window: the symbol in the accent colour and the title, then
// the rows (title in the headline style, body in the secondary colour) on a rounded card, with a
// divider after every row but the last. GUI thread.
#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "app/ui/HelpRow.h"

class QFrame;

namespace veldo::ui {

class HelpSection : public QWidget
{
    Q_OBJECT
public:
    HelpSection(QString title, std::string systemImage, std::vector<HelpRow> rows,
                QWidget* parent = nullptr);

    const QString& title() const { return m_title; }
    const std::string& systemImage() const { return m_systemImage; }
    const std::vector<HelpRow>& rows() const { return m_rows; }
    // The divider below each row, by row; null after the last.
    const std::vector<QFrame*>& dividers() const { return m_dividers; }

private:
    QString m_title;
    std::string m_systemImage;
    std::vector<HelpRow> m_rows;
    std::vector<QFrame*> m_dividers;
};

} // namespace veldo::ui
