// The composition root of the main window: the real platform behind each of its services.
#include "ui/frmMain.h"

#include "core/check/FilePresence.h"
#include "core/platform/modSysFolder.h"
#include "ui/DependencyLaunch.h"
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/modOpenFile.h"

namespace quorvane {

frmMainServices frmMainServices::Platform()
{
    frmMainServices services;
    services.openFile = [](QWidget *owner) { return ShowOpenFileDialog(owner); };
    services.checkDependencies = [](const std::string &path,
                                    const std::vector<std::string> &dependencies) {
        return CheckDependencies(path, dependencies);
    };
    services.showCheck = [](MissingDependencies outcome, QWidget *owner) {
        frmCheck::ShowModal(std::move(outcome), owner);
    };
    services.showAbout = [](QWidget *owner) { frmAbout::ShowModal(owner); };
    services.openDependency = [](QWidget *owner, const std::string &path, const std::string *name) {
        const DependencyLookup lookup{
            [](const std::string &prefixedPath) { return IsFilePresent(prefixedPath); },
            &GetSystemFolder};
        OpenDependencyInNewCopy(owner, path, name, lookup);
    };
    return services;
}

} // namespace quorvane
