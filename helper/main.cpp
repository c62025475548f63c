// veldo-helper: the privileged helper daemon.
#include "helper/DaemonMain.h"

int main()
{
    veldo::helper::daemonMain();
}
