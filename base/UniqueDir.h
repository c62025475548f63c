// UniqueDir: sole owner of one open directory stream and the descriptor under it, closed when the
// owner goes.
#pragma once

#include <cerrno>
#include <utility>

#include <dirent.h>

#include "base/UniqueFd.h"

namespace veldo::base {

class UniqueDir
{
public:
    UniqueDir() = default;
    explicit UniqueDir(DIR* dir) : m_dir(dir) {}
    ~UniqueDir() { reset(); }

    UniqueDir(const UniqueDir&) = delete;
    UniqueDir& operator=(const UniqueDir&) = delete;
    UniqueDir(UniqueDir&& other) noexcept : m_dir(std::exchange(other.m_dir, nullptr)) {}
    UniqueDir& operator=(UniqueDir&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_dir, nullptr));
        return *this;
    }

    // A stream over the folder open at `folder`, which it takes over: the descriptor is closed with
    // the stream, or at once when fdopendir fails (invalid then, with fdopendir's errno kept:
    // ENOTDIR for something that is not a folder).
    static UniqueDir adopt(UniqueFd folder)
    {
        DIR* dir = ::fdopendir(folder.get());
        if (!dir) {
            const int err = errno;
            folder.reset();
            errno = err;
            return {};
        }
        folder.release();
        return UniqueDir(dir);
    }

    DIR* get() const { return m_dir; }
    bool valid() const { return m_dir != nullptr; }
    explicit operator bool() const { return valid(); }

    // Closes the held stream and its descriptor (errors from closedir are ignored, as UniqueFd
    // ignores close's) and takes `dir`.
    void reset(DIR* dir = nullptr)
    {
        if (m_dir)
            ::closedir(m_dir);
        m_dir = dir;
    }

private:
    DIR* m_dir = nullptr;
};

} // namespace veldo::base

namespace veldo {
using base::UniqueDir;
} // namespace veldo
