// veldo-helper: the privileged helper daemon; `veldo-helper --approve` approves it.
#include <string_view>

#include "helper/Approval.h"
#include "helper/DaemonMain.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--approve")
        return veldo::helper::approveHelper();
    veldo::helper::daemonMain();
}
