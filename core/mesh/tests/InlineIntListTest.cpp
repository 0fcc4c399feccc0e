// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "core/mesh/QvInlineIntList.h"

namespace {

void ExpectSame(const QvInlineIntList& list, const std::vector<int>& model)
{
    ASSERT_EQ(list.size(), model.size());
    ASSERT_EQ(list.empty(), model.empty());
    ASSERT_GE(list.capacity(), list.size());
    EXPECT_EQ(list.IsInline(), list.capacity() == QvInlineIntList::kInline);
    EXPECT_TRUE(list == model);
    std::vector<int> walked;
    for (const int x : list)
        walked.push_back(x);
    EXPECT_EQ(walked, model);
}

// Every edit, applied to the list and to a vector side by side, in random order across
// the inline limit both ways; copies, moves and swaps taken in both states.
TEST(InlineIntList, EditsMatchAVectorAcrossTheInlineLimit)
{
    std::mt19937 random(7);
    QvInlineIntList list;
    std::vector<int> model;
    QvInlineIntList other{1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<int> otherModel{1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int step = 0; step < 4000; ++step)
    {
        const int value = static_cast<int>(random() % 1000);
        const std::size_t n = model.size();
        const std::size_t at = n ? random() % n : 0;
        switch (random() % 12)
        {
        case 0:
        case 1:
        case 2:
            list.push_back(value);
            model.push_back(value);
            break;
        case 3:
            if (n)
            {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
                model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            }
            break;
        case 4:
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), value);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), value);
            break;
        case 5:
            if (n)
            {
                list.pop_back();
                model.pop_back();
            }
            break;
        case 6:
            if (random() % 8 == 0)
            {
                list.clear();
                model.clear();
            }
            break;
        case 7:
            list.reserve(n + random() % 12);
            break;
        case 8:
            list.shrink_to_fit();
            EXPECT_EQ(list.IsInline(), n <= QvInlineIntList::kInline);
            break;
        case 9:
        {
            const QvInlineIntList copy(list);
            EXPECT_EQ(copy.IsInline(), n <= QvInlineIntList::kInline);
            ExpectSame(copy, model);
            QvInlineIntList assigned{42};
            assigned = copy;
            ExpectSame(assigned, model);
            break;
        }
        case 10:
        {
            QvInlineIntList moved(std::move(list));
            EXPECT_TRUE(list.empty());
            list = std::move(moved);
            EXPECT_TRUE(moved.empty());
            break;
        }
        case 11:
            list.swap(other);
            model.swap(otherModel);
            ExpectSame(other, otherModel);
            break;
        }
        ExpectSame(list, model);
        if (::testing::Test::HasFailure())
            FAIL() << "step " << step;
    }
}

TEST(InlineIntList, ReadsLikeAVector)
{
    QvInlineIntList list(std::vector<int>{5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_FALSE(list.IsInline());
    EXPECT_EQ(list.front(), 5);
    EXPECT_EQ(list.back(), 12);
    EXPECT_EQ(list[3], 8);
    list[3] = -1;
    EXPECT_EQ(list.ToVector(), (std::vector<int>{5, 6, 7, -1, 9, 10, 11, 12}));
    const std::vector<int> asVector(list);
    EXPECT_EQ(asVector, list.ToVector());
    EXPECT_EQ(std::vector<int>(list.rbegin(), list.rbegin() + 2), (std::vector<int>{12, 11}));
    list.erase(list.begin() + 1, list.begin() + 4);
    EXPECT_EQ(list, (std::vector<int>{5, 9, 10, 11, 12}));
    list.insert(list.begin(), asVector.begin(), asVector.begin() + 2);
    EXPECT_EQ(list, (std::vector<int>{5, 6, 5, 9, 10, 11, 12}));
    list.resize(9, 3);
    EXPECT_EQ(list, (std::vector<int>{5, 6, 5, 9, 10, 11, 12, 3, 3}));
    list = {1, 2};
    list.shrink_to_fit();
    EXPECT_TRUE(list.IsInline());
    EXPECT_EQ(list, (QvInlineIntList{1, 2}));
    EXPECT_NE(list, (QvInlineIntList{2, 1}));
}

} // namespace
