#pragma once
// How the window application presents itself to the desktop: its icon, the desktop entry it
// belongs to, and where its user manual is, in a build tree as well as after installation.
#include <QString>

namespace tolvane {

// The desktop entry's name without ".desktop"; on Wayland it is also the window's app id.
inline constexpr const char* kDesktopFileName = "io.github.tolvane.Tolvane";
// The application name, which Qt gives X11 windows as their class: the desktop entry's
// StartupWMClass.
inline constexpr const char* kApplicationName = "Tolvane";

// Sets the application name, the window icon of every window and the desktop entry name (the
// Wayland app id), so the task bar groups the windows under the menu entry on X11 and Wayland
// alike. Call once, after the QApplication and before the first window.
void SetApplicationIdentity();

// The user manual: beside the executable when it is there (a build tree), otherwise where
// installation puts it, found from the executable's folder so a moved prefix still works.
QString ManualPath();
// The same, from a given executable folder.
QString ManualPathFrom(const QString& executable_dir);

}  // namespace tolvane
