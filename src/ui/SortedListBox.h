#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace quorvane {

/// A list box that shows its items sorted without regard to letter case, whatever the order in
/// which they are added; names that differ only in case stand in code-point order (so "A" before
/// "a"), and duplicates stay. The order is the core's DependencyListLess, the one quorvane-cli
/// prints in. QListWidget's own sorting compares by locale and case, which puts "kernel32.dll" and
/// "KERNEL32.dll" wherever the locale likes; this places each item itself.
class SortedListBox : public QListWidget {
    Q_OBJECT

public:
    explicit SortedListBox(QWidget *parent = nullptr);

    /// Adds one item at its sorted place and returns its row.
    int AddItem(const QString &text);
    /// Adds the items, each at its sorted place; one step for the view when the list is empty.
    void AddItems(const QStringList &texts);

    // A sorted list box adds in sorted place whichever name the caller uses, so that code written
    // against QListWidget cannot append out of order through this type.
    void addItem(const QString &text) { AddItem(text); }
    void addItems(const QStringList &texts) { AddItems(texts); }

    /// The list's order, DependencyListLess, over the items' texts.
    static bool ListOrderLess(const QString &a, const QString &b);
};

} // namespace quorvane
