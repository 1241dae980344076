#pragma once
// The texts of a list's rows, in list order, for comparing a whole list in one assertion.

#include <QAbstractItemView>
#include <QStringList>

namespace quorvane {

inline QStringList ItemTexts(const QAbstractItemView &list)
{
    QStringList texts;
    const QAbstractItemModel *model = list.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        texts.push_back(model->index(row, 0).data().toString());
    }
    return texts;
}

} // namespace quorvane
