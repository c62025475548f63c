#include "app/ui/HelperClientRunner.h"

#include <utility>

#include <QMetaObject>

namespace veldo::ui {

using removal::PrivilegedHelperClient;

HelperClientRunner::HelperClientRunner(std::shared_ptr<PrivilegedHelperClient> client,
                                       std::stop_token shutdown, QObject* parent)
    : QObject(parent), m_client(std::move(client)), m_stop(std::move(shutdown))
{
}

HelperClientRunner::~HelperClientRunner()
{
    m_stop.requestStop();
}

template <typename Result>
void HelperClientRunner::run(std::function<Result(std::stop_token)> work,
                             std::function<void(const Result&)> apply)
{
    m_queue.async(
        [this, work = std::move(work), apply = std::move(apply), stop = m_stop.token()]() mutable {
            Result result = work(stop);
            // The runner is alive here: its destructor waits for this work. A posted apply that
            // has not run when the runner goes is dropped with the runner's events.
            QMetaObject::invokeMethod(
                this, [apply = std::move(apply), result = std::move(result)] { apply(result); },
                Qt::QueuedConnection);
        });
}

void HelperClientRunner::refresh()
{
    run<PrivilegedHelperClient::RefreshResult>(
        [services = m_client->services()](std::stop_token stop) {
            return PrivilegedHelperClient::readRefresh(services, std::move(stop));
        },
        [client = m_client](const PrivilegedHelperClient::RefreshResult& result) {
            client->applyRefresh(result);
        });
}

void HelperClientRunner::setEnabled(bool on, std::shared_ptr<core::CleanupSettings> settings)
{
    const Services services = m_client->beginSetEnabled(on, std::move(settings));
    run<RegistrationResult>(
        [on, services](std::stop_token stop) {
            return PrivilegedHelperClient::performSetEnabled(on, services, std::move(stop));
        },
        [on, client = m_client](const RegistrationResult& result) {
            client->applySetEnabled(on, result);
        });
}

void HelperClientRunner::reregister()
{
    const Services services = m_client->beginRegistration();
    run<RegistrationResult>(
        [services](std::stop_token stop) {
            return PrivilegedHelperClient::performUnregister(services, std::move(stop));
        },
        [this](const RegistrationResult& result) {
            m_client->applyRegistration(result);
            const Services again = m_client->beginRegistration();
            run<RegistrationResult>(
                [again](std::stop_token stop) {
                    return PrivilegedHelperClient::performRegister(again, std::move(stop));
                },
                [client = m_client](const RegistrationResult& second) {
                    client->applyRegistration(second);
                });
        });
}

} // namespace veldo::ui
