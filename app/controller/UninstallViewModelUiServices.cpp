// UninstallViewModel: installing the window's services.
#include "app/controller/UninstallViewModel.h"

namespace veldo::controller {

void UninstallViewModel::installUiServices(
    std::function<void(const std::vector<platform::MacPath>&)> reveal,
    std::function<void(const SavePanelRequest&,
                       std::function<void(std::optional<platform::MacPath>)>)>
        savePanel,
    std::function<void(const std::string& title, const std::string& message)> alert)
{
    ControllerServices services = m_services;
    services.reveal = std::move(reveal);
    services.savePanel = std::move(savePanel);
    services.alert = std::move(alert);
    m_services = services.withDefaults();
}

} // namespace veldo::controller
