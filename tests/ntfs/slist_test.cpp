// The owning list: order, cursor behaviour at both ends, clearing and ownership transfer.
#include "ntfs/slist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Base {
    virtual ~Base() = default;
};
struct Tracked : Base {
    Tracked(int id, std::vector<int>* destroyed) : id(id), destroyed(destroyed) {}
    ~Tracked() override { destroyed->push_back(id); }
    int id;
    std::vector<int>* destroyed;
};

std::vector<int> Walk(CSList<Base>& list) {
    std::vector<int> ids;
    for (Base* b = list.First(); b != nullptr; b = list.Next()) {
        ids.push_back(static_cast<Tracked*>(b)->id);
    }
    return ids;
}

TEST(SList, EmptyWalkStaysAtNull) {
    CSList<Base> list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Count(), 0);
    list.Clear();
    list.Clear();
    EXPECT_EQ(list.First(), nullptr);
}

TEST(SList, WalkFollowsAppendOrderAndDoesNotRestart) {
    std::vector<int> destroyed;
    CSList<Base> list;
    for (int id : {3, 1, 2}) {
        ASSERT_TRUE(list.Append(std::make_unique<Tracked>(id, &destroyed)));
    }
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(Walk(list), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(list.Next(), nullptr) << "a walk that ran off the end must not restart";
    EXPECT_EQ(list.Next(), nullptr);
}

TEST(SList, ClearDestroysMostDerivedInOrderAndResets) {
    std::vector<int> destroyed;
    CSList<Base> list;
    for (int id : {1, 2, 3}) {
        list.Append(std::make_unique<Tracked>(id, &destroyed));
    }
    list.First();
    list.Clear();
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Next(), nullptr);
    list.Append(std::make_unique<Tracked>(9, &destroyed));
    EXPECT_EQ(Walk(list), (std::vector<int>{9}));
}

TEST(SList, NullElementIsKeptAndSkippedOnClear) {
    CSList<Base> list;
    list.Append(nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.First(), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(SList, TakeAllFromMovesInOrderAndEmptiesSource) {
    std::vector<int> destroyed;
    CSList<Base> target;
    CSList<Base> source;
    target.Append(std::make_unique<Tracked>(1, &destroyed));
    source.Append(std::make_unique<Tracked>(2, &destroyed));
    source.Append(std::make_unique<Tracked>(3, &destroyed));
    source.First();
    target.TakeAllFrom(source);
    EXPECT_EQ(source.Count(), 0);
    EXPECT_EQ(source.First(), nullptr);
    EXPECT_EQ(source.Next(), nullptr);
    EXPECT_TRUE(destroyed.empty()) << "moving must not destroy";
    EXPECT_EQ(Walk(target), (std::vector<int>{1, 2, 3}));
    target.Append(std::make_unique<Tracked>(4, &destroyed));
    EXPECT_EQ(Walk(target), (std::vector<int>{1, 2, 3, 4})) << "tail must follow the moved nodes";
    CSList<Base> empty;
    empty.TakeAllFrom(target);
    EXPECT_EQ(Walk(empty), (std::vector<int>{1, 2, 3, 4}));
}

TEST(SList, LongListClearsWithoutDeepRecursion) {
    CSList<int> list;
    for (int i = 0; i < 1'000'000; ++i) {
        list.Append(std::make_unique<int>(i));
    }
    EXPECT_EQ(list.Count(), 1'000'000);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
