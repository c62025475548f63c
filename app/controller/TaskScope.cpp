// TaskScope: registration, queued resumes and destruction of the controller's task frames.
#include "app/controller/TaskScope.h"

#include <utility>

#include <QMetaObject>

namespace veldo::controller {

TaskScope::TaskScope(QObject& context) : m_context(&context)
{
}

TaskScope::~TaskScope()
{
    destroyFrames();
}

void TaskScope::adopt(std::coroutine_handle<> frame)
{
    m_frames.emplace(frame.address(), frame);
}

void TaskScope::release(std::coroutine_handle<> frame)
{
    m_frames.erase(frame.address());
}

void TaskScope::postResume(QObject& context, std::shared_ptr<ResumeGuard> guard,
                           std::coroutine_handle<> frame)
{
    QMetaObject::invokeMethod(
        &context, [guard = std::move(guard), frame] { guard->resume(frame); },
        Qt::QueuedConnection);
}

void TaskScope::destroyFrames()
{
    m_guard->close();
    // A frame's locals may end other tasks' handles while it is destroyed; take the list first.
    while (!m_frames.empty()) {
        auto frames = std::exchange(m_frames, {});
        for (auto& [address, frame] : frames)
            frame.destroy();
    }
}

} // namespace veldo::controller
