// HelperClientRunner: runs the operations of the privileged helper client for the windows.
//
// The client is confined to the GUI thread. Each operation's begin part runs at the call (on the
// GUI thread: setEnabled writes the setting there, before anything blocks); its blocking part
// runs on one serial queue, one at a time and in call order, never on the GUI thread, with a
// stop token that stops at the given shutdown token or when the runner is destroyed; its apply
// part runs on the GUI thread on a later event-loop turn, and the client's observers hear of the
// changes. Re-registering unregisters and then registers, the second begun when the first is
// applied. Destroying the runner stops the running operation, waits for it and drops the rest
// (nothing is applied after). Create and use on the GUI thread.
#pragma once

#include <functional>
#include <memory>
#include <stop_token>

#include <QObject>

#include "app/controller/LinkedStopSource.h"
#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelperClient.h"
#include "platform/SerialQueue.h"

namespace veldo::ui {

class HelperClientRunner : public QObject
{
    Q_OBJECT
public:
    HelperClientRunner(std::shared_ptr<removal::PrivilegedHelperClient> client,
                       std::stop_token shutdown, QObject* parent = nullptr);
    ~HelperClientRunner() override;

    removal::PrivilegedHelperClient& client() const { return *m_client; }
    const std::shared_ptr<removal::PrivilegedHelperClient>& sharedClient() const
    {
        return m_client;
    }

    void refresh();
    // Stores `on` in `settings` now, then registers (on) or unregisters (off) the helper.
    void setEnabled(bool on, std::shared_ptr<core::CleanupSettings> settings);
    void reregister();

private:
    using Services = removal::PrivilegedHelperClient::Services;
    using RegistrationResult = removal::PrivilegedHelperClient::RegistrationResult;

    // Runs `work` on the queue, then `apply` with its result on the GUI thread.
    template <typename Result>
    void run(std::function<Result(std::stop_token)> work, std::function<void(const Result&)> apply);

    std::shared_ptr<removal::PrivilegedHelperClient> m_client;
    controller::LinkedStopSource m_stop;
    // Last: destroyed first, so the running work ends while the rest of the runner still exists.
    platform::SerialQueue m_queue{"Veldo.HelperClient"};
};

} // namespace veldo::ui
