// ResumeGuard: resumes suspended tasks only while their scope keeps them.
#include "app/controller/ResumeGuard.h"

namespace veldo::controller {

bool ResumeGuard::resume(std::coroutine_handle<> frame) const
{
    if (!isOpen() || !frame)
        return false;
    frame.resume();
    return true;
}

} // namespace veldo::controller
