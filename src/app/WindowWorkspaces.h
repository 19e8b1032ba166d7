#pragma once

namespace kestrion {
class MainWindow;
}

// Plugs the Preview and Source tabs, the launch section and the preferences
// into the main window, sharing its settings, view state and models.
namespace kestrion::WindowWorkspaces {

void install(MainWindow* window);

} // namespace kestrion::WindowWorkspaces
