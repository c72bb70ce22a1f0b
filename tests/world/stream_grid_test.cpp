#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "world/CStreamGrid.h"

namespace
{

std::vector<void*> QueryAll(const CStreamGrid& grid, float fX, float fY, float fRadius)
{
    std::vector<void*> found;
    grid.QueryEach(fX, fY, fRadius, [&](void* pEntity) { found.push_back(pEntity); });
    return found;
}

TEST(StreamGrid, BuildReplacesBadBoundsAndClampsCounts)
{
    CStreamGrid grid;
    // Out-of-limit bounds fall back to their own defaults.
    ASSERT_TRUE(grid.Build(-5000.0f, -2000.0f, 1600.0f, 4001.0f, 0, 150));
    EXPECT_EQ(grid.GetMinX(), -2400.0f);
    EXPECT_EQ(grid.GetMaxY(), 2000.0f);
    EXPECT_EQ(grid.GetCellsX(), 1);
    EXPECT_EQ(grid.GetCellsY(), 100);
    EXPECT_FLOAT_EQ(grid.GetCellWidth(), 4000.0f);
    EXPECT_FLOAT_EQ(grid.GetCellHeight(), 40.0f);

    // An inverted axis takes the default pair of that axis only.
    ASSERT_TRUE(grid.Build(100.0f, -10.0f, 100.0f, 10.0f, 10, 10));
    EXPECT_EQ(grid.GetMinX(), -2400.0f);
    EXPECT_EQ(grid.GetMaxX(), 1600.0f);
    EXPECT_EQ(grid.GetMinY(), -10.0f);
    EXPECT_EQ(grid.GetMaxY(), 10.0f);

    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(grid.Build(fNaN, fNaN, INFINITY, -INFINITY, -3, 7));
    EXPECT_EQ(grid.GetMinX(), -2400.0f);
    EXPECT_EQ(grid.GetMinY(), -2000.0f);
    EXPECT_EQ(grid.GetMaxX(), 1600.0f);
    EXPECT_EQ(grid.GetMaxY(), 2000.0f);
    EXPECT_EQ(grid.GetCellsX(), 1);
}

TEST(StreamGrid, IndicesClampToTheEdgeCells)
{
    CStreamGrid grid;
    ASSERT_TRUE(grid.Build(-2400.0f, -2000.0f, 1600.0f, 2000.0f, 50, 50));
    EXPECT_EQ(grid.ColumnOf(-2400.0f), 0);
    EXPECT_EQ(grid.ColumnOf(-2320.5f), 0);
    EXPECT_EQ(grid.ColumnOf(-2319.0f), 1);
    EXPECT_EQ(grid.ColumnOf(1599.9f), 49);
    EXPECT_EQ(grid.ColumnOf(1600.0f), 49);
    EXPECT_EQ(grid.ColumnOf(-1.0e30f), 0);
    EXPECT_EQ(grid.ColumnOf(1.0e30f), 49);
    EXPECT_EQ(grid.ColumnOf(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(grid.RowOf(INFINITY), 49);
    EXPECT_EQ(grid.RowOf(-INFINITY), 0);
    EXPECT_EQ(grid.Cell(-5, 3), grid.Cell(0, 3));
    EXPECT_EQ(grid.Cell(70, 80), grid.Cell(49, 49));
}

TEST(StreamGrid, UnbuiltGridAnswersNothing)
{
    CStreamGrid grid;
    int nEntity = 0;
    SGridLink link;
    EXPECT_EQ(grid.ColumnOf(500.0f), 0);
    EXPECT_EQ(grid.RowOf(500.0f), 0);
    EXPECT_EQ(grid.Cell(0, 0), nullptr);
    grid.Insert(&nEntity, link, 0.0f, 0.0f);
    EXPECT_EQ(link.pEntity, nullptr);
    EXPECT_TRUE(QueryAll(grid, 0.0f, 0.0f, 5000.0f).empty());
    grid.Remove(link);
}

TEST(StreamGrid, MoveRemoveAndQueryCoverage)
{
    CStreamGrid grid;
    ASSERT_TRUE(grid.Build(-2400.0f, -2000.0f, 1600.0f, 2000.0f, 50, 50));
    int aEntities[3] = {};
    SGridLink aLinks[3];
    grid.Insert(&aEntities[0], aLinks[0], 0.0f, 0.0f);
    grid.Insert(&aEntities[1], aLinks[1], 10.0f, 10.0f);
    grid.Insert(&aEntities[2], aLinks[2], 1000.0f, 1000.0f);

    // Newest first within a cell; the far one is outside the square.
    std::vector<void*> found = QueryAll(grid, 0.0f, 0.0f, 100.0f);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], &aEntities[1]);
    EXPECT_EQ(found[1], &aEntities[0]);

    // Moving takes the entity out of its old cell.
    grid.Move(&aEntities[1], aLinks[1], 1000.0f, 1000.0f);
    found = QueryAll(grid, 0.0f, 0.0f, 100.0f);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(QueryAll(grid, 1000.0f, 1000.0f, 1.0f).size(), 2u);

    grid.Remove(aLinks[0]);
    grid.Remove(aLinks[0]);
    EXPECT_EQ(aLinks[0].pEntity, nullptr);
    EXPECT_TRUE(QueryAll(grid, 0.0f, 0.0f, 100.0f).empty());
}

TEST(StreamGrid, FarPositionLandsInEdgeCellAndIsFound)
{
    CStreamGrid grid;
    ASSERT_TRUE(grid.Build(-2400.0f, -2000.0f, 1600.0f, 2000.0f, 50, 50));
    int nEntity = 0;
    SGridLink link;
    grid.Insert(&nEntity, link, 90000.0f, -90000.0f);
    EXPECT_EQ(grid.Cell(49, 0)->pNext, &link);
    // A square reaching the edge column and row finds it.
    EXPECT_EQ(QueryAll(grid, 1590.0f, -1990.0f, 20.0f).size(), 1u);
    EXPECT_TRUE(QueryAll(grid, 1400.0f, -1990.0f, 20.0f).empty());
}

TEST(StreamGrid, CallbackMayUnlinkTheVisitedEntity)
{
    CStreamGrid grid;
    ASSERT_TRUE(grid.Build(-2400.0f, -2000.0f, 1600.0f, 2000.0f, 50, 50));
    int aEntities[4] = {};
    SGridLink aLinks[4];
    for (int i = 0; i < 4; ++i)
        grid.Insert(&aEntities[i], aLinks[i], 5.0f, 5.0f);
    struct SContext
    {
        CStreamGrid* pGrid;
        SGridLink* pLinks;
        int* pEntities;
        int nVisits;
    } context{&grid, aLinks, aEntities, 0};
    grid.Query(
        5.0f, 5.0f, 1.0f,
        [](void* pEntity, void* pUser)
        {
            SContext& c = *static_cast<SContext*>(pUser);
            c.pGrid->Remove(c.pLinks[static_cast<int*>(pEntity) - c.pEntities]);
            ++c.nVisits;
        },
        &context);
    EXPECT_EQ(context.nVisits, 4);
    EXPECT_TRUE(QueryAll(grid, 5.0f, 5.0f, 1.0f).empty());
}

} // namespace
