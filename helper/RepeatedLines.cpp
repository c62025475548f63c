// Counting the helper daemon's repeated log lines.
#include "helper/RepeatedLines.h"

#include <algorithm>
#include <cstdio>

namespace veldo::helper {

namespace {

// "the last minute", "the last 0.5 seconds".
std::string windowText(std::chrono::duration<double> window)
{
    if (window == std::chrono::minutes(1))
        return "the last minute";
    char text[48];
    std::snprintf(text, sizeof text, "the last %g seconds", window.count());
    return text;
}

// `text` cut to at most `most` bytes, between characters, with "…" in place of the rest.
std::string shortened(std::string text, std::size_t most)
{
    static constexpr std::string_view kEllipsis = "…";
    if (text.size() <= most)
        return text;
    std::size_t end = most - kEllipsis.size();
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end; // inside a character
    text.resize(end);
    return text.append(kEllipsis);
}

// What `line` says but for the process ids it names: "Refusing pid 4711: …" as "Refusing pid : …".
std::string withoutProcessIds(std::string_view line)
{
    static constexpr std::string_view kPid = "pid ";
    std::string kind;
    kind.reserve(line.size());
    for (std::size_t at = 0; at < line.size();) {
        if (!line.substr(at).starts_with(kPid)) {
            kind.push_back(line[at++]);
            continue;
        }
        kind.append(kPid);
        at += kPid.size();
        while (at < line.size() && line[at] >= '0' && line[at] <= '9')
            ++at;
    }
    return kind;
}

} // namespace

RepeatedLines::RepeatedLines(std::chrono::duration<double> window,
                             std::function<void(Clock::duration)> schedule)
    : m_window(std::chrono::duration_cast<Clock::duration>(window)),
      m_windowText(windowText(window)), m_schedule(std::move(schedule))
{
}

std::string RepeatedLines::countText(long count)
{
    const std::string plain = std::to_string(count < 0 ? 0 : count);
    std::string digits;
    digits.reserve(plain.size() + plain.size() / 3);
    for (std::size_t at = 0; at < plain.size(); ++at) {
        if (at > 0 && (plain.size() - at) % 3 == 0)
            digits.push_back(',');
        digits.push_back(plain[at]);
    }
    return digits;
}

void RepeatedLines::log(const HelperLog& log, HelperLog::Level level, uid_t account,
                        std::string_view format, std::initializer_list<std::string_view> values)
{
    const std::string line = shortened(HelperLog::render(format, values), kLongestLine);
    std::string kind = withoutProcessIds(line);
    const auto now = Clock::now();
    bool opened = false;
    {
        const std::lock_guard guard(m_lock);
        sweepLocked(now, false);
        auto [window, isNew] = m_windows.try_emplace(account);
        if (isNew) {
            window->second.opened = now;
            opened = true;
        }
        auto& kinds = window->second.kinds;
        const bool seen = std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
        if (seen || kinds.size() >= kKindsPerWindow) {
            ++window->second.counted;
        } else {
            kinds.push_back(std::move(kind));
            log.log(level, "%{public}s", {line});
        }
    }
    // Outside the lock: the scheduler may run sweep() at once.
    if (opened && m_schedule)
        m_schedule(m_window + std::chrono::milliseconds(1));
}

void RepeatedLines::sweep(bool all)
{
    const std::lock_guard guard(m_lock);
    sweepLocked(Clock::now(), all);
}

void RepeatedLines::sweepLocked(Clock::time_point now, bool all)
{
    for (auto window = m_windows.begin(); window != m_windows.end();) {
        if (!all && now - window->second.opened < m_window) {
            ++window;
            continue;
        }
        if (window->second.counted > 0)
            HelperLog::category("listener")
                .notice("… and %{public}s more from uid %{public}u in %{public}s",
                        {countText(window->second.counted), std::to_string(window->first),
                         m_windowText});
        window = m_windows.erase(window);
    }
}

} // namespace veldo::helper
