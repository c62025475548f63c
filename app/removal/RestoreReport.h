// RestoreReport: the result of one Undo.
#pragma once

#include <string>
#include <vector>

#include "app/core/LeftoverItem.h"
#include "app/removal/RestorePoint.h"

namespace veldo::removal {

struct RestoreReport
{
    // A point that could not be put back, with the sentence the user reads.
    struct Failure
    {
        RestorePoint point;
        std::string reason;
        // Another Undo may still put it back (a cancelled password dialog, a helper that could
        // not act right now): the point is kept for the next try.
        bool retryable = false;

        friend bool operator==(const Failure&, const Failure&) = default;
    };

    std::vector<core::LeftoverItem> restored; // back at their original places
    std::vector<Failure> failed;
    bool authorizationCancelled = false; // the administrator prompt of the restore was cancelled

    friend bool operator==(const RestoreReport&, const RestoreReport&) = default;
};

} // namespace veldo::removal
