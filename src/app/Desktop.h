#pragma once

namespace tarvo::app {

// The desktop application: the windows over the one model. Returns the process's exit status; without
// a display it says so in one line and returns 1.
int runDesktop(int argc, char** argv);

} // namespace tarvo::app
