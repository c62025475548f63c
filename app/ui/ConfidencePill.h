// ConfidencePill: how many leftovers matched with one confidence: "3 High" with the confidence's
// symbol on a capsule of its tint at 0.14, its help as tooltip, "3 High confidence" as its
// accessible name. GUI thread.
#pragma once

#include <QWidget>

#include "app/core/MatchConfidence.h"

namespace veldo::ui {

class TintedPill;

class ConfidencePill final : public QWidget
{
    Q_OBJECT
public:
    ConfidencePill(core::MatchConfidence confidence, int count, QWidget* parent = nullptr);

    // "3 High".
    static QString label(core::MatchConfidence confidence, int count);

    core::MatchConfidence confidence() const { return m_confidence; }
    QString label() const { return label(m_confidence, m_count); }

private:
    core::MatchConfidence m_confidence;
    int m_count;
};

} // namespace veldo::ui
