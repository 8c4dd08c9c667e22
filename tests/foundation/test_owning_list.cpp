#include "foundation/owning_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {
// Records its destruction order in a shared log.
struct Tracked {
    static std::vector<int> *destroyed;
    int id = 0;
    ~Tracked()
    {
        if (destroyed)
            destroyed->push_back(id);
    }
};
std::vector<int> *Tracked::destroyed = nullptr;

class OwningListTest : public ::testing::Test {
protected:
    void SetUp() override { Tracked::destroyed = &destroyed; }
    void TearDown() override { Tracked::destroyed = nullptr; }

    void fill(OwningList<Tracked> &list, int count)
    {
        for (int i = 0; i < count; ++i) {
            list.AddNew();
            list.Last()->id = i;
        }
    }

    std::vector<int> destroyed;
};

void expectError(const std::function<void()> &call, const QString &message)
{
    try {
        call();
        ADD_FAILURE() << "no error raised, expected " << message.toStdString();
    } catch (const AppError &e) {
        EXPECT_EQ(e.message(), message);
    }
}
} // namespace

TEST_F(OwningListTest, AddNewAppendsDefaultItemsInOrder)
{
    OwningList<Tracked> list;
    EXPECT_EQ(list.Count(), 0);
    fill(list, 3);
    ASSERT_EQ(list.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list.Get(i)->id, i);
    EXPECT_EQ(list.Last(), list.Get(2));
}

TEST_F(OwningListTest, GetOutOfRangeRaisesClearErrors)
{
    OwningList<Tracked> list;
    fill(list, 2);
    EXPECT_EQ(list.Get(list.Count() - 1)->id, 1);
    expectError([&] { list.Get(list.Count()); }, "cTemplateList - to big item number");
    expectError([&] { list.Get(1000000); }, "cTemplateList - to big item number");
    expectError([&] { list.Get(-1); }, "cTemplateList - negative item number -1");

    OwningList<Tracked> empty;
    expectError([&] { empty.Get(0); }, "cTemplateList - to big item number");
    expectError([&] { empty.Last(); }, "cTemplateList - the list is empty");
}

TEST_F(OwningListTest, DeleteDestroysOneItemAndShiftsTheRest)
{
    OwningList<Tracked> list;
    fill(list, 3);
    list.Delete(1);
    EXPECT_EQ(destroyed, std::vector<int>{1});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0)->id, 0);
    EXPECT_EQ(list.Get(1)->id, 2);

    // Past the end is an error and destroys nothing.
    expectError([&] { list.Delete(2); }, "cTemplateList - to big item number");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(destroyed.size(), 1u);
}

TEST_F(OwningListTest, DeleteNegativeOrOnEmptyListDoesNothing)
{
    OwningList<Tracked> empty;
    empty.Delete(-1);
    empty.Delete(0);
    EXPECT_EQ(empty.Count(), 0);

    OwningList<Tracked> list;
    fill(list, 2);
    list.Delete(-1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(destroyed.empty());
}

TEST_F(OwningListTest, ClearAndDestructorDestroyLastItemFirst)
{
    {
        OwningList<Tracked> list;
        fill(list, 3);
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 0}));
        destroyed.clear();
        fill(list, 2);
    }
    EXPECT_EQ(destroyed, (std::vector<int>{1, 0}));
}

TEST_F(OwningListTest, SwapExchangesOwnership)
{
    OwningList<Tracked> a;
    OwningList<Tracked> b;
    fill(a, 2);
    Tracked *first = a.Get(0);
    a.Swap(b);
    EXPECT_EQ(a.Count(), 0);
    ASSERT_EQ(b.Count(), 2);
    EXPECT_EQ(b.Get(0), first);
    EXPECT_TRUE(destroyed.empty());
}
