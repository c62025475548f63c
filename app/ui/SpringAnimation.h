// withSpringAnimation: the animation of every banner and overlay, a 500 ms ease-out of opacity
// and position while a widget appears or goes.
//
// A switch turns animations off (tests and the screenshot tour): the change then happens at once.
// GUI thread only.
#pragma once

#include <chrono>

#include <QWidget>

namespace veldo::ui {

inline constexpr std::chrono::milliseconds kSpringDuration{500};
inline constexpr int kSpringRise = 12; // points the widget rises while it appears

// Shows (fading in, rising into place) or hides (fading out, then hidden) `widget`. A running
// animation of the same widget is stopped first, so the last call decides. Nothing happens when
// the widget already is in that state.
void withSpringAnimation(QWidget* widget, bool visible);

void setAnimationsEnabled(bool enabled);
bool animationsEnabled();

} // namespace veldo::ui
