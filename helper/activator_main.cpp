// veldo-helper-activator: binds the helper's socket and starts the daemon on demand.
#include <string>
#include <vector>

#include <unistd.h>

#include "helper/Activator.h"

int main(int argc, char** argv)
{
    std::string error;
    const auto options = veldo::helper::parseActivatorOptions(
        std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        error += "\n";
        (void)::write(STDERR_FILENO, error.data(), error.size());
        return 2;
    }
    return veldo::helper::runActivator(*options);
}
