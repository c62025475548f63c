// The process-wide file manager.
#include "platform/FileManager.h"

#include <atomic>

#include "platform/LinuxFileManager.h"

namespace veldo::platform {

namespace {

std::atomic<FileManager*>& installedFileManager()
{
    static std::atomic<FileManager*> installed{nullptr};
    return installed;
}

} // namespace

FileManager& defaultFileManager()
{
    if (FileManager* installed = installedFileManager().load())
        return *installed;
    static LinuxFileManager processFileManager;
    return processFileManager;
}

namespace testing {

FileManager* setDefaultFileManager(FileManager* manager)
{
    return installedFileManager().exchange(manager);
}

} // namespace testing

} // namespace veldo::platform
