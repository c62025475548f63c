// emptyStateTexts(view): what an EmptyStateView reads, its title and then its sentence; empty when
// the view is null.
#pragma once

#include <QLabel>
#include <QStringList>

#include "tests/ui/ChildLookup.h"

namespace veldo::testsupport {

inline QStringList emptyStateTexts(const QWidget* view)
{
    const auto* title = child<QLabel>(view, "emptyStateTitle");
    const auto* description = child<QLabel>(view, "emptyStateDescription");
    if (!title || !description)
        return {};
    return {title->text(), description->text()};
}

} // namespace veldo::testsupport
