#pragma once
// The texts of a list's rows, in list order, for comparing a whole list in one assertion.

#include <QAbstractItemView>
#include <QStringList>

namespace quorvane {

inline QStringList ItemTexts(const QAbstractItemView &list)
{
    QStringList texts;
    for (int row = 0; row < list.model()->rowCount(); ++row) {
        texts.push_back(list.model()->index(row, 0).data().toString());
    }
    return texts;
}

} // namespace quorvane
