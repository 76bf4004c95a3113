#pragma once

namespace pm {

// The entry routine: creates the application, its windows and the data
// module, and runs the message loop until the main window closes.
int RunApplication(int argc, char* argv[]);

} // namespace pm
