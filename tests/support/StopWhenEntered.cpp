// Watching this process's open descriptors for a walk's arrival in a folder.
#include "tests/support/StopWhenEntered.h"

#include <filesystem>

namespace veldo::testsupport {

namespace {

bool holdsDescriptorInside(const std::string& folder)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(entry.path(), linkError).string();
        if (!linkError && (target == folder || target.starts_with(folder + "/")))
            return true;
    }
    return false;
}

} // namespace

StopWhenEntered::StopWhenEntered(std::stop_source& source, std::string hostFolder)
    : m_thread([this, &source, folder = std::move(hostFolder)] {
          while (!m_done.load()) {
              if (holdsDescriptorInside(folder)) {
                  m_requestedAt = std::chrono::steady_clock::now();
                  source.request_stop();
                  return;
              }
              std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
      })
{
}

StopWhenEntered::~StopWhenEntered()
{
    m_done.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<StopWhenEntered::TimePoint> StopWhenEntered::requestedAt()
{
    m_done.store(true);
    if (m_thread.joinable())
        m_thread.join();
    return m_requestedAt;
}

} // namespace veldo::testsupport
