// Task: the controller's coroutines, and what they may await.
//
// A Task<T> starts eagerly on the GUI thread when it is called, runs to its first suspension and
// returns; its frame belongs to a TaskScope, given by the coroutine's first parameter (a member
// coroutine of an object with `TaskScope& taskScope()`, or a free coroutine whose first parameter
// is the TaskScope). The frame ends itself when the body returns; the scope destroys the frames
// still suspended when it closes.
//
// Awaitables: inBackground(pool, fn) runs fn on the pool and answers its result; sleepFor(ms)
// waits on a timer; another Task answers that task's result; waitForAnswer(store) hands a
// one-shot PromptContinuation to `store` and answers what it is resumed with. Each resume is a
// queued invocation on the scope's context through the scope's guard: a later turn of the event
// loop, also when the work had already ended, and nothing once the scope has closed.
//
// Rules for writing one: parameters by value (callers pass temporaries; a reference would dangle
// at the first suspension); never a capturing lambda as a coroutine (its captures die with the
// closure); name a capturing lambda before the co_await that takes it (`auto work = [x] {…};
// co_await inBackground(pool, std::move(work));`), because GCC 12 destroys the captures of a
// lambda written inside a co_await expression twice; an exception escaping a body or a
// background function ends the process, because a task that died silently would leave its busy
// flag set for ever.
#pragma once

#include <chrono>
#include <concepts>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include <QFuture>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "app/controller/LinkedStopSource.h"
#include "app/controller/TaskScope.h"

namespace veldo::controller {

// What a stored task field holds: compared by identity, cancelled by the controller so that the
// task's own stale test drops its result. GUI thread only (the stop token it hands out may be
// read anywhere).
class TaskState
{
public:
    // Marks the task cancelled, and stops the token of stopToken() when one was handed out.
    void cancel()
    {
        m_cancelled = true;
        if (m_stop)
            m_stop->requestStop();
    }
    bool isCancelled() const { return m_cancelled; }
    bool isDone() const { return m_done; }

    // A token that cancel() stops, and `parent` (the shutdown token) too: for work whose result
    // a cancel makes useless. The first call links it to `parent`; later calls answer the same.
    std::stop_token stopToken(std::stop_token parent)
    {
        if (!m_stop) {
            m_stop = std::make_unique<LinkedStopSource>(std::move(parent));
            if (m_cancelled)
                m_stop->requestStop();
        }
        return m_stop->token();
    }

protected:
    bool m_cancelled = false;
    bool m_done = false;
    std::unique_ptr<LinkedStopSource> m_stop;
};

using TaskHandle = std::shared_ptr<TaskState>;

template <typename T>
class Task;

namespace detail {

template <typename Owner>
concept OwnsTaskScope = requires(Owner& owner)
{
    {
        owner.taskScope()
        } -> std::same_as<TaskScope&>;
};

// The value a task or background function answers; `void` is kept as an empty value.
struct Nothing
{
};
template <typename T>
using Stored = std::conditional_t<std::is_void_v<T>, Nothing, T>;

template <typename T>
struct TaskShared : TaskState
{
    std::optional<Stored<T>> value;
    std::coroutine_handle<> continuation;

    void finish() { m_done = true; }
};

template <typename T>
class PromiseBase
{
public:
    template <typename Owner, typename... Args>
    requires OwnsTaskScope<Owner>
    explicit PromiseBase(Owner& owner, Args&&...) : m_scope(&owner.taskScope()) {}
    template <typename... Args>
    explicit PromiseBase(TaskScope& scope, Args&&...) : m_scope(&scope)
    {
    }

    TaskScope& scope() const { return *m_scope; }
    const std::shared_ptr<TaskShared<T>>& shared() const { return m_shared; }

    std::suspend_never initial_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }

    struct FinalAwaiter
    {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> frame) noexcept
        {
            const std::shared_ptr<TaskShared<T>> shared = frame.promise().shared();
            shared->finish();
            std::coroutine_handle<> next = std::exchange(shared->continuation, {});
            frame.promise().scope().release(frame);
            frame.destroy();
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }

protected:
    TaskScope* m_scope;
    std::shared_ptr<TaskShared<T>> m_shared = std::make_shared<TaskShared<T>>();
};

template <typename T>
class Promise : public PromiseBase<T>
{
public:
    using PromiseBase<T>::PromiseBase;
    Task<T> get_return_object();
    template <typename U>
    void return_value(U&& value)
    {
        this->m_shared->value.emplace(std::forward<U>(value));
    }
};

template <>
class Promise<void> : public PromiseBase<void>
{
public:
    using PromiseBase<void>::PromiseBase;
    Task<void> get_return_object();
    void return_void() { m_shared->value.emplace(); }
};

} // namespace detail

template <typename T = void>
class [[nodiscard]] Task
{
public:
    using promise_type = detail::Promise<T>;

    // The state to store in a task field; compared by identity.
    TaskHandle handle() const { return m_shared; }
    bool isDone() const { return m_shared->isDone(); }

    // Lets the task run on with nobody awaiting its result: what a button, a menu item or a timer
    // does with the operation it starts. The call already ran the task to its first suspension
    // and its frame belongs to its scope either way; detaching only says that dropping this
    // Task is meant (a Task is [[nodiscard]]).
    void detach() && {}

    auto operator co_await() const noexcept
    {
        struct Awaiter
        {
            std::shared_ptr<detail::TaskShared<T>> shared;
            bool await_ready() const noexcept { return shared->isDone(); }
            void await_suspend(std::coroutine_handle<> waiting) noexcept
            {
                shared->continuation = waiting;
            }
            T await_resume()
            {
                if constexpr (!std::is_void_v<T>)
                    return std::move(*shared->value);
            }
        };
        return Awaiter{m_shared};
    }

private:
    friend class detail::Promise<T>;
    explicit Task(std::shared_ptr<detail::TaskShared<T>> shared) : m_shared(std::move(shared)) {}

    std::shared_ptr<detail::TaskShared<T>> m_shared;
};

namespace detail {

template <typename T>
Task<T> Promise<T>::get_return_object()
{
    this->m_scope->adopt(std::coroutine_handle<Promise<T>>::from_promise(*this));
    return Task<T>(this->m_shared);
}

inline Task<void> Promise<void>::get_return_object()
{
    m_scope->adopt(std::coroutine_handle<Promise<void>>::from_promise(*this));
    return Task<void>(m_shared);
}

template <typename R, typename Fn>
class BackgroundAwaiter
{
public:
    BackgroundAwaiter(QThreadPool& pool, Fn fn) : m_pool(&pool), m_fn(std::move(fn)) {}

    bool await_ready() const noexcept { return false; }

    template <typename Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        TaskScope& scope = frame.promise().scope();
        if (scope.isClosed())
            return; // shutting down: no new work; the frame waits to be destroyed
        QtConcurrent::run(m_pool, [fn = std::move(m_fn), slot = m_slot]() mutable {
            try {
                if constexpr (std::is_void_v<R>) {
                    fn();
                    slot->emplace();
                } else {
                    slot->emplace(fn());
                }
            } catch (...) {
                std::terminate();
            }
        }).then([context = &scope.context(), guard = scope.guard(), frame] {
            TaskScope::postResume(*context, guard, frame);
        });
    }

    R await_resume()
    {
        if constexpr (!std::is_void_v<R>)
            return std::move(**m_slot);
    }

private:
    QThreadPool* m_pool;
    Fn m_fn;
    // Shared with the pool job, so the answer outlives a frame destroyed at shutdown.
    std::shared_ptr<std::optional<Stored<R>>> m_slot = std::make_shared<std::optional<Stored<R>>>();
};

class SleepAwaiter
{
public:
    explicit SleepAwaiter(std::chrono::milliseconds duration) : m_duration(duration) {}
    bool await_ready() const noexcept { return false; }
    template <typename Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        TaskScope& scope = frame.promise().scope();
        if (scope.isClosed())
            return;
        QTimer::singleShot(m_duration, &scope.context(),
                           [guard = scope.guard(), frame] { guard->resume(frame); });
    }
    void await_resume() const noexcept {}

private:
    std::chrono::milliseconds m_duration;
};

} // namespace detail

// Runs `fn` (taken by value) on `pool` and answers its result on a later turn of the GUI thread.
// `fn` must not touch the controller: it gets values and answers a value.
template <typename Fn>
auto inBackground(QThreadPool& pool, Fn fn)
{
    using R = std::invoke_result_t<Fn&>;
    return detail::BackgroundAwaiter<R, Fn>(pool, std::move(fn));
}

// The running task's own state, without suspending: `const TaskHandle self = co_await thisTask();`
// lets a body read whether it was cancelled.
struct ThisTask
{
    bool await_ready() const noexcept { return false; }
    template <typename Promise>
    bool await_suspend(std::coroutine_handle<Promise> frame) noexcept
    {
        m_state = frame.promise().shared();
        return false;
    }
    TaskHandle await_resume() const noexcept { return m_state; }

    TaskHandle m_state;
};
inline ThisTask thisTask()
{
    return {};
}

// Answers after `duration`, on a later turn of the GUI thread.
inline detail::SleepAwaiter sleepFor(std::chrono::milliseconds duration)
{
    return detail::SleepAwaiter(duration);
}

// The one-shot resume of a task waiting for a user's answer (a prompt). The first resume() posts
// the task's continuation with the answer, through the scope's guard, on a later turn; every
// later call does nothing, and so does a resume after the scope closed or its context went
// away. GUI thread only. Compared by identity.
template <typename T>
class PromptContinuation
{
public:
    PromptContinuation(TaskScope& scope, std::coroutine_handle<> frame,
                       std::shared_ptr<std::optional<T>> answer)
        : m_context(&scope.context()), m_guard(scope.guard()), m_frame(frame),
          m_answer(std::move(answer))
    {
    }
    PromptContinuation(const PromptContinuation&) = delete;
    PromptContinuation& operator=(const PromptContinuation&) = delete;

    // Answers false when it had already been resumed.
    bool resume(T answer)
    {
        if (m_resumed)
            return false;
        m_resumed = true;
        m_answer->emplace(std::move(answer));
        if (m_context && m_guard->isOpen())
            TaskScope::postResume(*m_context, m_guard, m_frame);
        return true;
    }

private:
    QPointer<QObject> m_context;
    std::shared_ptr<ResumeGuard> m_guard;
    std::coroutine_handle<> m_frame;
    std::shared_ptr<std::optional<T>> m_answer;
    bool m_resumed = false;
};

namespace detail {

template <typename T, typename Store>
class PromptAwaiter
{
public:
    explicit PromptAwaiter(Store store) : m_store(std::move(store)) {}
    bool await_ready() const noexcept { return false; }
    template <typename Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        m_store(std::make_shared<PromptContinuation<T>>(frame.promise().scope(), frame, m_answer));
    }
    T await_resume() { return std::move(**m_answer); }

private:
    Store m_store;
    std::shared_ptr<std::optional<T>> m_answer = std::make_shared<std::optional<T>>();
};

} // namespace detail

// Suspends the task and hands `store` (called at once, on the GUI thread) the continuation that
// the answer will resume; answers that answer.
template <typename T, typename Store>
auto waitForAnswer(Store store)
{
    return detail::PromptAwaiter<T, Store>(std::move(store));
}

} // namespace veldo::controller
