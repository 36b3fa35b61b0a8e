#pragma once

// The program's entry: the window, or a command run without one. The command line is read
// before any application object exists, since only the window needs a display.
namespace Launcher {

int run(int argc, char* argv[]);

} // namespace Launcher
