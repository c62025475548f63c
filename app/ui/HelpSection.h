// HelpSection: one card of the Help window: the symbol in the accent colour and the title, then
// the rows (title in the headline style, body in the secondary colour) on a rounded card, with a
// divider after every row but the last ("divider0" below the first row, and so on). GUI thread.
#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "app/ui/HelpRow.h"

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

private:
    QString m_title;
    std::string m_systemImage;
    std::vector<HelpRow> m_rows;
};

} // namespace veldo::ui
