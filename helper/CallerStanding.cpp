// An account's standing with the helper daemon.
#include "helper/CallerStanding.h"

#include "common/VeldoHelperProtocol.h"
#include "helper/CallerAccount.h"

namespace veldo::helper {

CallerStanding callerStanding(uid_t uid, const UserDatabase& database)
{
    const auto account = uid == 0 ? std::nullopt : CallerAccount::make(uid, database);
    if (!account)
        return CallerStanding::unknownAccount;
    return account->isAdministrator(database) ? CallerStanding::administrator
                                              : CallerStanding::notAdministrator;
}

std::string_view refusalSentence(CallerStanding standing)
{
    return standing == CallerStanding::notAdministrator ? common::kHelperErrorNotAdministrator
                                                        : common::kHelperErrorUnknownAccount;
}

} // namespace veldo::helper
