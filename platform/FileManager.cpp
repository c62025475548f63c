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

// Each call of the run is the file manager's own.
class ForwardingTrashRun final : public FileManager::TrashRun
{
public:
    explicit ForwardingTrashRun(FileManager& files) : m_files(files) {}

    std::optional<MacPath> openFolderOfItem(const MacPath&) override { return std::nullopt; }

    FileResult<FileStatus> attributesOfItem(const MacPath& path) override
    {
        return m_files.attributesOfItem(path);
    }
    FileResult<std::optional<MacPath>> trashItem(const MacPath& url) override
    {
        return m_files.trashItem(url);
    }

private:
    FileManager& m_files;
};

} // namespace

std::unique_ptr<FileManager::TrashRun> FileManager::beginTrashRun()
{
    return std::make_unique<ForwardingTrashRun>(*this);
}

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
