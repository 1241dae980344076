#pragma once

#include <functional>

namespace quorvane {

class frmMain;

/// The desktop program: builds the main window from the command line, shows it and runs until it
/// ends. started, when given, is called with the shown window before the event loop starts.
int RunApplication(int argc, char **argv, const std::function<void(frmMain &)> &started = {});

} // namespace quorvane
