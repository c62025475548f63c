// The drilled-in map kind.
#include "app/ui/SelectedMapKind.h"

namespace veldo::ui {

void SelectedMapKind::setKind(std::optional<core::ToolchainKind> kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    emit kindChanged();
}

} // namespace veldo::ui
