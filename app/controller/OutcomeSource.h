// OutcomeSource: the screen the last removal came from.
#pragma once

namespace veldo::controller {

enum class OutcomeSource
{
    app,
    batch,
    toolchain,
    orphans
};

} // namespace veldo::controller
