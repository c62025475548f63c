// NoticeAlert: an alert over the main window, with the items its reveal action shows.
// It has no equality: every write of the controller's alert notifies.
#pragma once

#include <string>
#include <vector>

#include <QUuid>

#include "platform/MacPath.h"

namespace veldo::controller {

struct NoticeAlert
{
    QUuid id;
    std::string title;
    std::string message;
    std::vector<platform::MacPath> revealURLs;
};

} // namespace veldo::controller
