#pragma once

class QApplication;

namespace pm {

// The application's names and font (Liberation Sans for Arial), as the
// program and the window tests set them.
void SetUpApplication(QApplication& app);

// The entry routine: the single-instance guard, the splash, the windows and
// the data module in their order, then the message loop until the main
// window closes. A second copy ends at once and silently (exit code 0).
int RunApplication(int argc, char* argv[]);

} // namespace pm
