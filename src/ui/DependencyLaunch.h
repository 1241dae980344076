#pragma once

#include "core/check/DependencyActions.h"

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace quorvane {

inline constexpr char kStartFailedTitle[] = "Quorvane";

/// The platform behaviour a double-click on the dependency list needs. Empty members mean the
/// real thing; tests put recorders in their place.
struct DependencyLaunchSeam {
    /// This program's own executable, as bytes; default OwnProgramPath().
    std::function<std::string()> programPath;
    /// Starts program with arguments as a new, independent process and returns at once; on
    /// failure returns false and sets reason. Default: StartProgram.
    std::function<bool(const std::string &program, const std::vector<std::string> &arguments,
                       QString &reason)>
        startDetached;
    /// A message box with a single OK button, modal to owner; its text is plain text.
    std::function<void(QWidget *owner, QMessageBox::Icon icon, const QString &title,
                       const QString &text)>
        showMessage;
};

/// The double-click on the dependency list: finds the file that name (the current item's, nullptr
/// when the list has none) names in the application folder of path or in the system folder and
/// starts a further copy of this program on it, with the found path as its one argument, bytes
/// as they are; or says that the file is in neither folder. Does nothing without a name. A start
/// that fails is reported in a message box, and the window carries on.
void OpenDependencyInNewCopy(QWidget *owner, const std::string &path, const std::string *name,
                             const DependencyLookup &lookup, const DependencyLaunchSeam &seam = {});

/// This program's own executable, its path as the system spells it.
std::string OwnProgramPath();

/// The real process start behind the seam: program started detached with arguments passed as
/// their bytes stand (no shell, no quoting), reason set from the system's error on failure.
bool StartProgram(const std::string &program, const std::vector<std::string> &arguments,
                  QString &reason);

} // namespace quorvane
