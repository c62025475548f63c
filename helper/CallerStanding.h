// CallerStanding: what the helper daemon may do for an account, decided from a connection's user
// id when the connection is accepted, so that accounts it can never serve take nothing that an
// administrator's requests need (connections, frame memory, the work lock).
//
// Reads the user database afresh on every call (CallerAccount.h); an administrator's requests are
// still checked again, one by one, when they run.
#pragma once

#include <string_view>

#include <sys/types.h>

#include "helper/UserDatabase.h"

namespace veldo::helper {

enum class CallerStanding
{
    administrator,    // may be served
    notAdministrator, // an account, but not an administrator's
    unknownAccount,   // root, or no usable account
};

CallerStanding callerStanding(uid_t uid, const UserDatabase& database = UserDatabase::system());

// The sentence a request of an account that may not be served is answered with (standing other
// than administrator).
std::string_view refusalSentence(CallerStanding standing);

} // namespace veldo::helper
