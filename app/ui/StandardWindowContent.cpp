// StandardWindowContent: the screens this build of the application puts into its windows.
#include "app/ui/WindowContent.h"

namespace veldo::ui {

WindowContent WindowContent::standard()
{
    WindowContent content;
    return content;
}

} // namespace veldo::ui
