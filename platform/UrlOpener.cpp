// Opens URLs through xdg-open, detached, or records them for tests.
#include "platform/UrlOpener.h"

#include <mutex>
#include <optional>

#include "platform/DetachedShell.h"

namespace veldo::platform {

namespace {

struct Recording
{
    std::mutex mutex;
    std::optional<std::vector<std::string>> urls;
};

Recording& recording()
{
    static Recording r;
    return r;
}

// A shell starts xdg-open in the background and exits at once; the opener is then nobody's
// child, so nothing waits for it and no zombie is left.
constexpr const char* kDetachScript =
    "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" >/dev/null 2>&1 &";

} // namespace

bool openUrl(std::string_view url)
{
    {
        Recording& r = recording();
        std::lock_guard lock(r.mutex);
        if (r.urls) {
            r.urls->emplace_back(url);
            return true;
        }
    }

    return runDetachedShell(kDetachScript, "veldo-open-url", url);
}

namespace testing {

UrlRecorder::UrlRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.urls.emplace();
}

UrlRecorder::~UrlRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.urls.reset();
}

std::vector<std::string> UrlRecorder::urls() const
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    return r.urls.value_or(std::vector<std::string>{});
}

} // namespace testing

} // namespace veldo::platform
