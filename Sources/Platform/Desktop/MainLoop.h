#pragma once
// The GTK main loop for programs and tests that drive the desktop shell without an application.

#include <functional>

namespace mainloop {

// Initialises GTK on the X11 display (DISPLAY); false when there is none.
bool init();
// Runs the loop for `seconds`, or until `done` answers true (checked after every event); returns
// whether `done` became true.
bool runUntil(const std::function<bool()>& done, double seconds);
void runFor(double seconds);

}  // namespace mainloop
