#include "ui/ClassicFonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <initializer_list>

namespace quorvane {

namespace {

QString FirstInstalled(std::initializer_list<const char *> families)
{
    const QStringList installed = QFontDatabase::families();
    for (const char *name : families) {
        if (installed.contains(QLatin1String(name), Qt::CaseInsensitive)) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

QFont FontOf(const QString &family, int pixels, bool bold)
{
    QFont font;
    if (family.isEmpty()) {
        font.setFamily(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamily(family);
    }
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

QString ClassicSansFamily()
{
    static const QString family =
        FirstInstalled({"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial"});
    return family;
}

QFont ClassicFont(int pixels, bool bold)
{
    return FontOf(ClassicSansFamily(), pixels, bold);
}

QFont ArialFont(int pixels, bool bold)
{
    static const QString family = FirstInstalled({"Arial", "Liberation Sans", "Arimo"});
    return FontOf(family, pixels, bold);
}

} // namespace quorvane
