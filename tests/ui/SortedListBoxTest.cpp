// The sorted list box: case-blind order with code-point ties, whatever the order of adding.
#include "ui/SortedListBox.h"

#include "support/ListItems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quorvane {
namespace {

// U+1F600 lies above U+FFFD, although its first UTF-16 unit lies below it.
const QStringList kSorted = {
    QStringLiteral("_init.dll"),         QStringLiteral("advapi32.dll"),
    QStringLiteral("KERNEL32.dll"),      QStringLiteral("Kernel32.dll"),
    QStringLiteral("kernel32.dll"),      QStringLiteral("kernel32.dll"),
    QStringLiteral("msvcrt.dll"),        QStringLiteral("MSVCRT20.dll"),
    QStringLiteral("USER32.dll"),        QStringLiteral("zlib1.dll"),
    QStringLiteral("\u00c9t\u00e9.dll"), QStringLiteral("\u00e9t\u00e9.dll"),
    QStringLiteral("\ufffd.dll"),        QString::fromUtf8("\xf0\x9f\x98\x80.dll"),
};

TEST(SortedListBox, ShowsItemsInOrderWhateverTheOrderOfAdding)
{
    std::mt19937 random(7);
    QStringList shuffled = kSorted;
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        SortedListBox oneByOne;
        for (const auto &text : shuffled) {
            oneByOne.AddItem(text);
        }
        EXPECT_EQ(ItemTexts(oneByOne), kSorted);

        SortedListBox inOneStep;
        inOneStep.AddItems(shuffled);
        EXPECT_EQ(ItemTexts(inOneStep), kSorted);

        SortedListBox inTwoSteps;
        inTwoSteps.AddItems(shuffled.mid(0, 5));
        inTwoSteps.AddItems(shuffled.mid(5));
        EXPECT_EQ(ItemTexts(inTwoSteps), kSorted);
    }
}

TEST(SortedListBox, AddingByQListWidgetsNameStillSorts)
{
    SortedListBox list;
    list.addItem(QStringLiteral("b"));
    list.addItems({QStringLiteral("C"), QStringLiteral("a")});
    EXPECT_EQ(list.AddItem(QStringLiteral("B")), 1);
    EXPECT_EQ(ItemTexts(list), (QStringList{"a", "B", "b", "C"}));
}

} // namespace
} // namespace quorvane
