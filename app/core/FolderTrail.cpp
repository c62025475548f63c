// The held folders of a descriptor-relative walk.
#include "app/core/FolderTrail.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "base/SystemCalls.h"

namespace veldo::core {

UniqueFd openFolderAt(int dirFd, const char* name)
{
    return base::openAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK);
}

FolderTrail::Level& FolderTrail::push(UniqueFd folder)
{
    m_levels.push_back(Level{std::move(folder), {}, 0, 0, 0});
    if (m_levels.size() > m_heldDepth) {
        Level& far = m_levels[m_levels.size() - 1 - m_heldDepth];
        struct stat st
        {
        };
        if (far.fd && ::fstat(far.fd.get(), &st) == 0) {
            far.device = st.st_dev;
            far.inode = st.st_ino;
            far.fd.reset();
        }
    }
    return m_levels.back();
}

bool FolderTrail::pop()
{
    if (m_levels.size() >= 2) {
        Level& parent = m_levels[m_levels.size() - 2];
        if (!parent.fd) {
            UniqueFd up(openFolderAt(m_levels.back().fd.get(), ".."));
            struct stat st
            {
            };
            if (!up || ::fstat(up.get(), &st) != 0 || st.st_dev != parent.device ||
                st.st_ino != parent.inode)
                return false;
            parent.fd = std::move(up);
        }
    }
    m_levels.pop_back();
    return true;
}

} // namespace veldo::core
