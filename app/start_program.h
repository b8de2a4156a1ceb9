// The whole life of the program: start-up, the message loop, the end.
#pragma once

namespace lorvane {

// Creates the main window hidden, runs the start-up notice, shows the window
// and takes events until it has been closed. Returns 0.
int start_program();

}  // namespace lorvane
