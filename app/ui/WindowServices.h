// WindowServices: the window side of the controller's services, installed once at start-up
// before any window or hand-off exists.
//
// Reveal goes to the file manager through `reveal`; the save panel opens over the main window on
// screen (window-modal, answered later). The error alert becomes the controller's
// alert, with the failure's sentence as its title, so every main window shows it in the same
// box as a notice alert, and a window opened later shows it when none was on screen. GUI thread.
#pragma once

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::platform::qt {
class FileManagerReveal;
}

namespace veldo::ui {

// `reveal` must outlive the controller's use of it (the application's lifetime).
void installWindowServices(controller::UninstallViewModel& model,
                           platform::qt::FileManagerReveal& reveal);

} // namespace veldo::ui
