// UninstallViewModel: installing the window's services.
#include "app/controller/UninstallViewModel.h"

namespace veldo::controller {

void UninstallViewModel::installUiServices(
    std::function<void(const std::vector<platform::MacPath>&)> reveal,
    std::function<void(const SavePanelRequest&, SavePanelAnswer)> savePanel,
    std::function<void(const std::string& message)> alert)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    ControllerServices services = m_services;
    services.reveal = std::move(reveal);
    services.chooseSaveLocation = std::move(savePanel);
    services.showErrorAlert = std::move(alert);
    m_services = services.withDefaults();
}

} // namespace veldo::controller
