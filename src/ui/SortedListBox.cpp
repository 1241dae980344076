#include "ui/SortedListBox.h"

#include "core/lists/ListOrder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane {
namespace {

// An item's text in the core's form, UTF-8, compared by the order quorvane-cli prints in.
struct SortKey {
    std::string utf8;

    explicit SortKey(const QString &text) : utf8(text.toStdString()) {}
    bool operator<(const SortKey &other) const { return DependencyListLess(utf8, other.utf8); }
};

} // namespace

SortedListBox::SortedListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // One line of text per item: the view need not measure 100,000 items one by one.
    setUniformItemSizes(true);
}

bool SortedListBox::ListOrderLess(const QString &a, const QString &b)
{
    return SortKey(a) < SortKey(b);
}

int SortedListBox::AddItem(const QString &text)
{
    const SortKey key(text);
    int low = 0;
    int high = count();
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (key < SortKey(item(mid)->text())) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    insertItem(low, text);
    return low;
}

void SortedListBox::AddItems(const QStringList &texts)
{
    if (count() != 0) {
        for (const auto &text : texts) {
            AddItem(text);
        }
        return;
    }
    // Sort positions, not keys: moving two strings per step is what a sort of 100,000 keys spends
    // its time on.
    std::vector<SortKey> keys;
    keys.reserve(static_cast<std::size_t>(texts.size()));
    for (const auto &text : texts) {
        keys.emplace_back(text);
    }
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    QStringList sorted;
    sorted.reserve(texts.size());
    for (const std::size_t i : order) {
        sorted.push_back(texts[static_cast<qsizetype>(i)]);
    }
    QListWidget::addItems(sorted);
}

} // namespace quorvane
