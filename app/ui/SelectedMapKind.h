// SelectedMapKind: the developer screen's drilled-in map kind (none: the top level), with a
// signal when it changes. GUI thread only.
#pragma once

#include <optional>

#include <QObject>

#include "app/core/ToolchainKind.h"

namespace veldo::ui {

class SelectedMapKind final : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    std::optional<core::ToolchainKind> kind() const { return m_kind; }
    // Signals only when the value changes.
    void setKind(std::optional<core::ToolchainKind> kind);

signals:
    void kindChanged();

private:
    std::optional<core::ToolchainKind> m_kind;
};

} // namespace veldo::ui
