// The colour of each developer-tool kind: the disk-usage map's tiles and the accent of the
// toolchain sections. Pure, any thread.
#pragma once

#include <QColor>

#include "app/core/ToolchainKind.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

// A system colour per kind; Android is green mixed with yellow by 0.5, Rust orange with red by
// 0.55, Cloud & Containers purple with pink by 0.5.
QColor color(core::ToolchainKind kind, ColorScheme scheme);

} // namespace veldo::ui
