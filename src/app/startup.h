#pragma once

#include <QMainWindow>
#include <memory>

namespace pm {

// The program's main window as it stands (the shell fills it).
std::unique_ptr<QMainWindow> CreateMainWindow();

// The entry routine: creates the application, its windows and the data
// module, and runs the message loop until the main window closes.
int RunApplication(int argc, char* argv[]);

} // namespace pm
