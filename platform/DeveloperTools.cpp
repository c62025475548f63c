// The host's developer tools are real when no Mac root is set.
#include "platform/DeveloperTools.h"

#include "platform/MacRoot.h"

namespace veldo::platform {

bool developerToolsAlwaysInstalled()
{
    return macRoot().empty();
}

} // namespace veldo::platform
