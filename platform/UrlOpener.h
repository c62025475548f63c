// Opening a URL with the desktop's handler for its scheme (the workspace's "open URL").
//
// Linux: the URL goes to xdg-open, started detached so that the call never waits for the
// handler; whether a handler exists for the scheme is the desktop's business. Tests replace
// the opener with a recorder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veldo::platform {

// Hands the URL to the desktop. True when it was handed on (or recorded); false when no opener
// could be started. Blocks only for starting the opener. Thread-safe.
bool openUrl(std::string_view url);

namespace testing {

// While one exists, openUrl records each URL here instead of opening it. One at a time.
class UrlRecorder
{
public:
    UrlRecorder();
    ~UrlRecorder();
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;

    std::vector<std::string> urls() const;
};

} // namespace testing

} // namespace veldo::platform
