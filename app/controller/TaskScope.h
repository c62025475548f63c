// TaskScope: owner of the suspended frames of a controller's tasks, and the one way they resume.
//
// Every Task (Task.h) registers its coroutine frame here when it starts and leaves when it ends.
// Resumes are posted to the context object's thread (the GUI thread) as queued invocations, so
// a task always continues on a later turn of the event loop, and they pass through the scope's
// ResumeGuard. destroyFrames() closes the guard and destroys every suspended frame without
// resuming it; a resume posted earlier then does nothing, and no new work is started.
//
// The scope is confined to the context's thread, except postResume(), which any thread may
// call. The context must outlive every posted resume's sender: its owner waits for the pools
// that run background work before it destroys the context (the controller's shutdown).
#pragma once

#include <coroutine>
#include <cstddef>
#include <memory>
#include <unordered_map>

#include <QObject>

#include "app/controller/ResumeGuard.h"

namespace veldo::controller {

class TaskScope
{
public:
    explicit TaskScope(QObject& context);
    // Destroys the frames still suspended (destroyFrames()).
    ~TaskScope();
    TaskScope(const TaskScope&) = delete;
    TaskScope& operator=(const TaskScope&) = delete;

    QObject& context() const { return *m_context; }
    const std::shared_ptr<ResumeGuard>& guard() const { return m_guard; }

    // True once destroyFrames() ran: awaitables then start no work and their frames wait to be
    // destroyed.
    bool isClosed() const { return !m_guard->isOpen(); }

    // A frame starts, or ends (it destroys itself right after).
    void adopt(std::coroutine_handle<> frame);
    void release(std::coroutine_handle<> frame);

    // The number of frames started and not yet ended.
    std::size_t frameCount() const { return m_frames.size(); }

    // Posts a resume of `frame` to the context's thread, through the guard. Any thread.
    void postResume(std::coroutine_handle<> frame) const { postResume(*m_context, m_guard, frame); }
    static void postResume(QObject& context, std::shared_ptr<ResumeGuard> guard,
                           std::coroutine_handle<> frame);

    // Closes the guard and destroys every suspended frame, without resuming any. Idempotent.
    void destroyFrames();

private:
    QObject* m_context;
    std::shared_ptr<ResumeGuard> m_guard = std::make_shared<ResumeGuard>();
    std::unordered_map<void*, std::coroutine_handle<>> m_frames;
};

} // namespace veldo::controller
