#pragma once

// The program's entry: the window, or with "submit" a run from the command line. The mode is
// chosen before any application object exists, since only the window needs a display.
namespace Launcher {

int run(int argc, char* argv[]);

} // namespace Launcher
