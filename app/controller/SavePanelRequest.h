// SavePanelRequest: what the controller asks of a save panel, and the panel's answer.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::controller {

struct SavePanelRequest
{
    std::string title;
    std::string proposedFileName;
    std::vector<std::string> allowedExtensions; // without the dot: {"json"}
    bool canCreateDirectories = false;

    friend bool operator==(const SavePanelRequest&, const SavePanelRequest&) = default;
};

// The chosen Mac path, or none when the user cancelled. Called once, on the GUI thread.
using SavePanelAnswer = std::function<void(std::optional<platform::MacPath>)>;

} // namespace veldo::controller
