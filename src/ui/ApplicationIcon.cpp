#include "ui/ApplicationIcon.h"

#include <QApplication>

// The icon lives in a static library, whose resources the linker drops unless something asks
// for them; Q_INIT_RESOURCE has to be used outside any namespace.
static void InitIconResource()
{
    Q_INIT_RESOURCE(quorvane);
}

namespace quorvane {

QIcon ApplicationIcon()
{
    static const bool initialised = (InitIconResource(), true);
    (void)initialised;
    return QIcon(QString::fromLatin1(kApplicationIconResource));
}

void InstallApplicationIcon()
{
    QApplication::setWindowIcon(ApplicationIcon());
}

} // namespace quorvane
