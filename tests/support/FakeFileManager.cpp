// The test file manager: injected failures and missing Trash URLs over the real one.
#include "tests/support/FakeFileManager.h"

namespace veldo::testsupport {

using platform::FileResult;
using platform::MacPath;
using platform::SystemError;

FakeFileManager::FakeFileManager() : m_wrapped(platform::defaultFileManager())
{
    m_previous = platform::testing::setDefaultFileManager(this);
}

FakeFileManager::~FakeFileManager()
{
    platform::testing::setDefaultFileManager(m_previous);
}

void FakeFileManager::injectFailure(Call call, const MacPath& path, SystemError error)
{
    m_failures.insert_or_assign(Key{call, path}, std::move(error));
}

void FakeFileManager::omitResultingURL(const MacPath& path)
{
    m_withoutResultingURL.insert(path);
}

void FakeFileManager::setBeforeTrash(std::function<void(const MacPath&)> hook)
{
    m_beforeTrash = std::move(hook);
}

std::optional<SystemError> FakeFileManager::lastError(Call call, const MacPath& path) const
{
    auto it = m_answers.find(Key{call, path});
    return it == m_answers.end() ? std::nullopt : it->second;
}

std::optional<int> FakeFileManager::lastErrno(Call call, const MacPath& path) const
{
    auto error = lastError(call, path);
    return error ? platform::posixErrorCode(*error) : std::nullopt;
}

const SystemError* FakeFileManager::injected(Call call, const MacPath& path) const
{
    auto it = m_failures.find(Key{call, path});
    return it == m_failures.end() ? nullptr : &it->second;
}

template <typename T>
FileResult<T> FakeFileManager::noted(Call call, const MacPath& path, FileResult<T> result)
{
    m_answers.insert_or_assign(Key{call, path},
                               result ? std::nullopt : std::optional<SystemError>(result.error()));
    return result;
}

// A run of the wrapped manager, seen through the fake.
class FakeFileManager::Run final : public platform::FileManager::TrashRun
{
public:
    Run(FakeFileManager& fake, std::unique_ptr<TrashRun> wrapped)
        : m_fake(fake), m_wrapped(std::move(wrapped))
    {
    }

    std::optional<MacPath> openFolderOfItem(const MacPath& url) override
    {
        return m_wrapped->openFolderOfItem(url);
    }
    FileResult<platform::FileStatus> attributesOfItem(const MacPath& path) override
    {
        return m_fake.attributes(path, [&] { return m_wrapped->attributesOfItem(path); });
    }
    FileResult<std::optional<MacPath>> trashItem(const MacPath& url) override
    {
        return m_fake.trash(url, [&] { return m_wrapped->trashItem(url); });
    }

private:
    FakeFileManager& m_fake;
    std::unique_ptr<TrashRun> m_wrapped;
};

FileResult<std::optional<MacPath>>
FakeFileManager::trash(const MacPath& url,
                       const std::function<FileResult<std::optional<MacPath>>()>& move)
{
    if (m_beforeTrash)
        m_beforeTrash(url);
    if (const SystemError* error = injected(Call::trash, url))
        return noted<std::optional<MacPath>>(Call::trash, url, *error);
    auto result = move();
    if (result && m_withoutResultingURL.contains(url))
        result = std::optional<MacPath>();
    return noted(Call::trash, url, std::move(result));
}

FileResult<platform::FileStatus>
FakeFileManager::attributes(const MacPath& path,
                            const std::function<FileResult<platform::FileStatus>()>& read)
{
    if (const SystemError* error = injected(Call::attributes, path))
        return noted<platform::FileStatus>(Call::attributes, path, *error);
    return noted(Call::attributes, path, read());
}

FileResult<std::optional<MacPath>> FakeFileManager::trashItem(const MacPath& url)
{
    return trash(url, [&] { return m_wrapped.trashItem(url); });
}

std::unique_ptr<platform::FileManager::TrashRun> FakeFileManager::beginTrashRun()
{
    return std::make_unique<Run>(*this, m_wrapped.beginTrashRun());
}

FileResult<void> FakeFileManager::moveItem(const MacPath& from, const MacPath& to)
{
    if (const SystemError* error = injected(Call::move, from))
        return noted<void>(Call::move, from, *error);
    return noted(Call::move, from, m_wrapped.moveItem(from, to));
}

FileResult<platform::FileStatus> FakeFileManager::attributesOfItem(const MacPath& path)
{
    return attributes(path, [&] { return m_wrapped.attributesOfItem(path); });
}

FileResult<void> FakeFileManager::createDirectory(const MacPath& url,
                                                  bool withIntermediateDirectories)
{
    if (const SystemError* error = injected(Call::createDirectory, url))
        return noted<void>(Call::createDirectory, url, *error);
    return noted(Call::createDirectory, url,
                 m_wrapped.createDirectory(url, withIntermediateDirectories));
}

bool FakeFileManager::isWritableFile(const MacPath& path)
{
    return m_wrapped.isWritableFile(path);
}

} // namespace veldo::testsupport
