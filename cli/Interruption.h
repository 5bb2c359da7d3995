#pragma once

// Ctrl+C (SIGINT) and SIGTERM during a run: from catchInterruptions() on,
// the first one only sets a flag, so no photo is started after it while the
// photos being worked on are finished (a copy appears only whole); a second
// one ends the process at once.
void catchInterruptions();
bool interrupted();
