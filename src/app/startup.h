#pragma once

// The program's start-up and message loop, shared by main() and the start-up benchmark.

#include <functional>
#include <optional>

namespace sh::app {

class MainWindow;

// Sets what Qt WebEngine needs before the QApplication exists: no Chromium sandbox when
// running as root (it refuses to start otherwise), shared GL contexts for the view.
void prepareWebEngine();

// True when Qt can be expected to find a screen: a local X display that answers, a remote
// one, a Wayland session or a platform chosen explicitly. Otherwise Qt would abort.
bool displayAvailable(int argc, char** argv);

// Answers --help and --version (also -h, -v, -help, -version) on standard output, without
// a display and without starting the window; returns the exit status then. nullopt when
// neither was asked for: the program goes on to start.
std::optional<int> answerInformationOptions(int argc, char** argv);

// Starts the program and runs its message loop until the window is closed; returns the
// process's exit code. afterShown runs once the window is on the screen.
int runProgram(int argc, char** argv, const std::function<void(MainWindow&)>& afterShown = {});

}  // namespace sh::app
