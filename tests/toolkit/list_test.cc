// Doubly linked lists threaded through the first two words of each element.
#include <gtest/gtest.h>

#include <vector>

#include "toolkit.h"

namespace {

struct Item {
  Item *next;
  Item *prev;
  int id;
};

// The ids from `first` to the end; fails the test when a back link does not
// point at the element before it.
std::vector<int> ids(void *first) {
  std::vector<int> out;
  Item *before = nullptr;
  for (auto *item = static_cast<Item *>(first); item; item = item->next) {
    EXPECT_EQ(item->prev, before) << "back link of " << item->id;
    out.push_back(item->id);
    before = item;
  }
  return out;
}

class ListTest : public ::testing::Test {
 protected:
  Item items[5] = {{nullptr, nullptr, 1}, {nullptr, nullptr, 2}, {nullptr, nullptr, 3},
                   {nullptr, nullptr, 4}, {nullptr, nullptr, 5}};

  // Appends items 1..n and returns the first.
  void *chain(int n) {
    void *first = nullptr;
    for (int i = 0; i < n; ++i) first = tk_ListAdd(first, TK_LIST_APPEND, &items[i]);
    return first;
  }
};

TEST_F(ListTest, AppendToNullReferenceStartsOneElementList) {
  void *first = tk_ListAdd(nullptr, TK_LIST_APPEND, &items[0]);
  EXPECT_EQ(first, &items[0]);
  EXPECT_EQ(ids(first), std::vector<int>({1}));
}

TEST_F(ListTest, AppendFromAnyReferenceAddsAtTheEndAndReturnsFirst) {
  void *first = chain(3);
  EXPECT_EQ(tk_ListAdd(&items[1], TK_LIST_APPEND, &items[3]), &items[0]);
  EXPECT_EQ(ids(first), std::vector<int>({1, 2, 3, 4}));
}

TEST_F(ListTest, InsertAfterMiddleAndLastKeepsLinksBothWays) {
  void *first = chain(2);
  EXPECT_EQ(tk_ListAdd(&items[0], TK_LIST_AFTER, &items[2]), &items[0]);
  EXPECT_EQ(ids(first), std::vector<int>({1, 3, 2}));
  EXPECT_EQ(tk_ListAdd(&items[1], TK_LIST_AFTER, &items[3]), &items[0]);
  EXPECT_EQ(ids(first), std::vector<int>({1, 3, 2, 4}));
}

TEST_F(ListTest, AddWithoutUsableReferenceOrWhereLinksNothing) {
  void *first = chain(2);
  EXPECT_EQ(tk_ListAdd(nullptr, TK_LIST_AFTER, &items[2]), nullptr);
  EXPECT_EQ(tk_ListAdd(&items[1], 2, &items[2]), &items[0]);
  EXPECT_EQ(tk_ListAdd(&items[1], TK_LIST_APPEND, nullptr), &items[0]);
  EXPECT_EQ(ids(first), std::vector<int>({1, 2}));
  EXPECT_EQ(items[2].next, nullptr);
  EXPECT_EQ(items[2].prev, nullptr);
}

TEST_F(ListTest, DeleteReturnsFirstOfWhatRemains) {
  void *first = chain(4);
  EXPECT_EQ(tk_ListDelete(&items[1]), &items[0]);  // middle
  EXPECT_EQ(ids(first), std::vector<int>({1, 3, 4}));
  EXPECT_EQ(items[1].next, &items[2]);  // its own links stay
  EXPECT_EQ(items[1].prev, &items[0]);
  EXPECT_EQ(tk_ListDelete(&items[3]), &items[0]);  // last
  EXPECT_EQ(ids(first), std::vector<int>({1, 3}));
  first = tk_ListDelete(&items[0]);                // first
  EXPECT_EQ(first, &items[2]);
  EXPECT_EQ(ids(first), std::vector<int>({3}));
  EXPECT_EQ(tk_ListDelete(&items[2]), nullptr);    // only
  EXPECT_EQ(tk_ListDelete(nullptr), nullptr);
}

TEST_F(ListTest, StartAndCountFromAnyElement) {
  chain(4);
  EXPECT_EQ(tk_ListStart(&items[3]), &items[0]);
  EXPECT_EQ(tk_ListStart(&items[0]), &items[0]);
  EXPECT_EQ(tk_ListStart(nullptr), nullptr);
  EXPECT_EQ(tk_ListCount(&items[0]), 4);
  EXPECT_EQ(tk_ListCount(&items[2]), 2);
  EXPECT_EQ(tk_ListCount(nullptr), 0);
}

}  // namespace
