// FakeFileManager: the process-wide file manager for one test, wrapping the one installed before.
//
// Every call goes to the wrapped file manager unless a failure was injected for its operation
// and path; then the call fails with that error and touches nothing. A Trash move can also be
// told to report no resulting URL (the move itself happens). The fake records the error each
// call answered per operation and path, and runs an optional hook before each Trash move. Trash
// runs are the wrapped manager's runs, with the same injections, records and hook.
// Installed on construction, restored on destruction. Not thread-safe: tests set it up first.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "platform/FileManager.h"

namespace veldo::testsupport {

class FakeFileManager final : public platform::FileManager
{
public:
    enum class Call
    {
        trash,
        move,
        attributes,
        createDirectory
    };

    FakeFileManager();
    ~FakeFileManager() override;
    FakeFileManager(const FakeFileManager&) = delete;
    FakeFileManager& operator=(const FakeFileManager&) = delete;

    void injectFailure(Call call, const platform::MacPath& path, platform::SystemError error);
    void omitResultingURL(const platform::MacPath& path);
    void setBeforeTrash(std::function<void(const platform::MacPath&)> hook);

    // The error the last `call` on `path` answered; none when it succeeded or never ran.
    std::optional<platform::SystemError> lastError(Call call, const platform::MacPath& path) const;
    // The wrapped errno of that error; none likewise.
    std::optional<int> lastErrno(Call call, const platform::MacPath& path) const;

    platform::FileResult<std::optional<platform::MacPath>>
    trashItem(const platform::MacPath& url) override;
    platform::FileResult<void> moveItem(const platform::MacPath& from,
                                        const platform::MacPath& to) override;
    platform::FileResult<platform::FileStatus>
    attributesOfItem(const platform::MacPath& path) override;
    platform::FileResult<void> createDirectory(const platform::MacPath& url,
                                               bool withIntermediateDirectories) override;
    bool isWritableFile(const platform::MacPath& path) override;
    std::unique_ptr<TrashRun> beginTrashRun() override;

private:
    class Run;
    using Key = std::pair<Call, platform::MacPath>;

    const platform::SystemError* injected(Call call, const platform::MacPath& path) const;
    // A Trash move or an attribute read as the fake answers it, `move` or `read` doing the real
    // one.
    platform::FileResult<std::optional<platform::MacPath>>
    trash(const platform::MacPath& url,
          const std::function<platform::FileResult<std::optional<platform::MacPath>>()>& move);
    platform::FileResult<platform::FileStatus>
    attributes(const platform::MacPath& path,
               const std::function<platform::FileResult<platform::FileStatus>()>& read);
    template <typename T>
    platform::FileResult<T> noted(Call call, const platform::MacPath& path,
                                  platform::FileResult<T> result);

    platform::FileManager& m_wrapped;
    platform::FileManager* m_previous = nullptr;
    std::map<Key, platform::SystemError> m_failures;
    std::set<platform::MacPath> m_withoutResultingURL;
    std::map<Key, std::optional<platform::SystemError>> m_answers;
    std::function<void(const platform::MacPath&)> m_beforeTrash;
};

} // namespace veldo::testsupport
