#pragma once

namespace pm {

// The entry routine: the single-instance guard, the splash, the windows and
// the data module in their order, then the message loop until the main
// window closes. A second copy ends at once and silently (exit code 0).
int RunApplication(int argc, char* argv[]);

} // namespace pm
