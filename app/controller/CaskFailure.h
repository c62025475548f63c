// CaskFailure: a failed or incomplete Homebrew uninstall, as the window reports it.
#pragma once

#include <string>

#include <QUuid>

namespace veldo::controller {

struct CaskFailure
{
    QUuid id;
    std::string appName;
    std::string token;
    std::string message;
    std::string terminalCommand;
    std::string output;
    bool appWasRemoved = false;

    friend bool operator==(const CaskFailure&, const CaskFailure&) = default;
};

} // namespace veldo::controller
