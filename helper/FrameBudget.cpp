// The memory budget of the helper daemon's large request frames.
#include "helper/FrameBudget.h"

#include <utility>

namespace veldo::helper {

FrameBudget::Grant::Grant(FrameBudget& budget, uid_t account, std::size_t bytes)
    : m_budget(&budget), m_account(account), m_bytes(bytes)
{
}

FrameBudget::Grant::Grant(Grant&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_account(other.m_account),
      m_bytes(other.m_bytes)
{
}

FrameBudget::Grant& FrameBudget::Grant::operator=(Grant&& other) noexcept
{
    if (this != &other) {
        giveBack();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_account = other.m_account;
        m_bytes = other.m_bytes;
    }
    return *this;
}

FrameBudget::Grant::~Grant()
{
    giveBack();
}

void FrameBudget::Grant::giveBack()
{
    if (m_budget)
        std::exchange(m_budget, nullptr)->release(m_account, m_bytes);
}

FrameBudget::FrameBudget(std::size_t total, std::size_t perAccount)
    : m_total(total), m_perAccount(perAccount)
{
}

std::optional<FrameBudget::Grant>
FrameBudget::acquire(uid_t account, std::size_t bytes,
                     std::chrono::steady_clock::time_point deadline)
{
    if (bytes > m_perAccount || bytes > m_total)
        return std::nullopt;
    std::unique_lock lock(m_lock);
    const auto fits = [&] {
        const auto mine = m_heldByAccount.find(account);
        const std::size_t held = mine == m_heldByAccount.end() ? 0 : mine->second;
        return m_held + bytes <= m_total && held + bytes <= m_perAccount;
    };
    if (!m_released.wait_until(lock, deadline, fits))
        return std::nullopt;
    m_held += bytes;
    m_heldByAccount[account] += bytes;
    return Grant(*this, account, bytes);
}

std::size_t FrameBudget::held() const
{
    const std::lock_guard lock(m_lock);
    return m_held;
}

void FrameBudget::release(uid_t account, std::size_t bytes)
{
    {
        const std::lock_guard lock(m_lock);
        m_held -= bytes;
        if (auto mine = m_heldByAccount.find(account); mine != m_heldByAccount.end()) {
            mine->second -= bytes;
            if (mine->second == 0)
                m_heldByAccount.erase(mine);
        }
    }
    m_released.notify_all();
}

} // namespace veldo::helper
