// ScopeGuard: runs a clean-up action when the scope it guards is left, unless dismissed.
#pragma once

#include <type_traits>
#include <utility>

namespace veldo::base {

// Runs `action` once, from the destructor, unless `dismiss()` was called first. Not copyable or
// movable: it guards exactly the scope it was declared in. The action must not throw.
template <typename F>
class [[nodiscard]] ScopeGuard
{
public:
    explicit ScopeGuard(F action) noexcept(std::is_nothrow_move_constructible_v<F>)
        : m_action(std::move(action))
    {
    }
    ~ScopeGuard()
    {
        if (m_armed)
            m_action();
    }

    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ScopeGuard(ScopeGuard&&) = delete;
    ScopeGuard& operator=(ScopeGuard&&) = delete;

    // The work succeeded: nothing is to be undone.
    void dismiss() noexcept { m_armed = false; }

private:
    F m_action;
    bool m_armed = true;
};

} // namespace veldo::base
