#pragma once
// The texts of a list box's items, in list order, for comparing a whole list in one assertion.

#include <QListWidget>
#include <QStringList>

namespace quorvane {

inline QStringList ItemTexts(const QListWidget &list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
        texts.push_back(list.item(i)->text());
    }
    return texts;
}

} // namespace quorvane
