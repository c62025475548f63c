// Revealing and showing the files of a list's item rows.
#include "app/ui/CheckListModel.h"

#include "app/core/PathDisplay.h"
#include "platform/Home.h"
#include "platform/qt/FileManagerReveal.h"

namespace veldo::ui {

FileCheckListModel::FileCheckListModel(const char* owner, QObject* parent)
    : CheckListModel(owner, parent),
      m_reveal(new platform::qt::FileManagerReveal(QDBusConnection::sessionBus(),
                                                   platform::qt::FileManagerReveal::kDefaultTimeout,
                                                   {}, this)),
      m_home(platform::homeDirectory().path())
{
}

void FileCheckListModel::reveal(int row)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < 0 || row >= rowCount() || isHeader(row))
        return;
    m_reveal->reveal({itemPath(row)});
}

QString FileCheckListModel::displayPath(const platform::MacPath& path) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return QString::fromStdString(core::abbreviatedPath(path.path(), m_home));
}

} // namespace veldo::ui
