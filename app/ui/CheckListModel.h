// CheckListModel: a list model of section header rows and item rows, each of which may carry a
// checkbox, as the tool screens' long lists show them. CheckListView turns clicks and the Space
// key into toggle() and reveal(); what toggling means (an item, a whole section) is the model's.
//
// Roles: Qt::CheckStateRole (rows with a checkbox), Qt::ToolTipRole, Qt::AccessibleTextRole.
// GUI thread only: the thread that made the model; debug builds abort when a public member runs
// on another.
#pragma once

#include <string>

#include <QAbstractListModel>

#include "platform/MacPath.h"
#include "platform/SequenceChecker.h"

namespace veldo::platform::qt {
class FileManagerReveal;
}

namespace veldo::ui {

class CheckListModel : public QAbstractListModel
{
public:
    // `owner` names the model in the thread check's message.
    CheckListModel(const char* owner, QObject* parent)
        : QAbstractListModel(parent), m_sequence(owner)
    {
    }

    // Whether the row is a section header.
    virtual bool isHeader(int row) const = 0;
    // Whether the row shows a checkbox.
    virtual bool hasCheckbox(int row) const = 0;
    // The row's checkbox was set (either way), or the row was clicked outside its controls.
    virtual void toggle(int row) = 0;
    // The row's reveal button was pressed; nothing on rows without one.
    virtual void reveal(int row) = 0;

protected:
    platform::SequenceChecker m_sequence;
};

// A CheckListModel whose item rows stand for files: reveal() shows an item row's file in the
// file manager, and paths are shown with the home folder written as "~".
class FileCheckListModel : public CheckListModel
{
public:
    FileCheckListModel(const char* owner, QObject* parent);

    // Nothing on header rows and rows out of range.
    void reveal(int row) final;
    // The path shown under an item: the home folder written as "~".
    QString displayPath(const platform::MacPath& path) const;

protected:
    // The file of an item row.
    virtual const platform::MacPath& itemPath(int row) const = 0;

private:
    platform::qt::FileManagerReveal* m_reveal;
    std::string m_home;
};

} // namespace veldo::ui
