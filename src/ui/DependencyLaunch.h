#pragma once

#include "core/check/DependencyActions.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QListWidget;
class QWidget;

namespace quorvane {

inline constexpr char kStartFailedTitle[] = "Quorvane";

/// The platform behaviour a double-click on the dependency list needs. Empty members mean the
/// real thing; tests put recorders in their place.
struct DependencyLaunchServices {
    /// This program's own executable; default QCoreApplication::applicationFilePath().
    std::function<QString()> programPath;
    /// Starts program with arguments as a new, independent process and returns at once; on
    /// failure returns false and sets reason. Default: QProcess, never through a shell.
    std::function<bool(const QString &program, const QStringList &arguments, QString &reason)>
        startDetached;
    /// A message box with a single OK button, modal to owner.
    std::function<void(QWidget *owner, QMessageBox::Icon icon, const QString &title,
                       const QString &text)>
        showMessage;
};

/// The double-click on the dependency list: finds the current item's file in the application
/// folder of pathText or in the system folder and starts a further copy of this program on it,
/// with the found path as its one argument; or says that the file is in neither folder. Does
/// nothing when the list has no current item. A start that fails is reported in a message box,
/// and the window carries on. The list and the path are left as they are.
void OpenDependencyInNewCopy(QWidget *owner, const QString &pathText, const QListWidget &LstDep,
                             const DependencyLookupServices &lookup,
                             const DependencyLaunchServices &services = {});

/// The real process start behind DependencyLaunchServices: program started detached with arguments
/// passed as they are (no shell, no quoting), reason set from Qt's error text on failure.
bool StartDetachedProcess(const QString &program, const QStringList &arguments, QString &reason);

} // namespace quorvane
