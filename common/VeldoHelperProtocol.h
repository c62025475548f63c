// The app–helper protocol's version and the whole-call sentences the helper sends instead of a
// reply record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace veldo::common {

// The protocol version the helper reports in its version reply; the app uses the helper only when
// it reports exactly this version (and the app's own build).
inline constexpr std::int64_t kHelperProtocolVersion = 3;

// Most items one move or restore request may carry (the app's batches hold a few thousand);
// a request with more is refused whole.
inline constexpr std::size_t kMaxHelperBatchItems = 10'000;

// Most items the helper daemon serves in one move or restore request (it refuses a larger one
// whole, as unreadable); the app sends a larger batch as several requests of at most this many.
// The move ledger keeps this many records per account, and one cleanup hands the helper at most
// this many items to move (the app's administrator script moves the rest, needing no record): so
// a cleanup's own moves never push its records out, and every item the daemon moved can be put
// back.
inline constexpr std::size_t kHelperRequestItemLimit = 5'000;

// Sentences the helper answers a move or restore with, in place of a reply record.
inline constexpr std::string_view kHelperErrorUnknownAccount =
    "Veldo's helper couldn't identify your account.";
inline constexpr std::string_view kHelperErrorNotAdministrator =
    "Veldo's helper only works for administrator accounts.";
inline constexpr std::string_view kHelperErrorShuttingDown = "Veldo's helper is shutting down.";
// The request did not decode as the record of its method; no item was touched.
inline constexpr std::string_view kHelperErrorUnreadableRequest =
    "Veldo's helper couldn't read the request.";
inline constexpr std::string_view kHelperErrorUnencodableReply =
    "Veldo's helper couldn't encode its reply.";

} // namespace veldo::common
