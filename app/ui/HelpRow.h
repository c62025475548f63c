// HelpRow: one question and answer of the Help window: a fresh id, a title and a body.
#pragma once

#include <QString>
#include <QUuid>

namespace veldo::ui {

struct HelpRow
{
    QUuid id = QUuid::createUuid();
    QString title;
    QString body;
};

} // namespace veldo::ui
