#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "world/CStreamKind.h"
#include "world/CStreamNodePool.h"
#include "world/IStreamEntitySource.h"

namespace
{

TEST(StreamNodePool, GrowsByBlocksOf500AndReusesFromTheFront)
{
    CStreamNodePool pool;
    EXPECT_EQ(pool.GetBlockCount(), 0);
    SStreamNode* apNodes[501];
    for (int i = 0; i < 500; ++i)
        apNodes[i] = pool.Take(i);
    EXPECT_EQ(pool.GetBlockCount(), 1);
    EXPECT_EQ(pool.GetFreeCount(), 0);
    // A fresh block hands out its nodes in order.
    EXPECT_EQ(apNodes[1], apNodes[0] + 1);
    apNodes[500] = pool.Take(500);
    EXPECT_EQ(pool.GetBlockCount(), 2);
    EXPECT_EQ(apNodes[500]->nId, 500);

    pool.Give(apNodes[7]);
    EXPECT_EQ(apNodes[7]->nId, -1);
    EXPECT_EQ(pool.Take(42), apNodes[7]);
    EXPECT_EQ(pool.GetBlockCount(), 2);
}

using CVehicleKind = CStreamKind<1001, false>;
using CPlayerKind = CStreamKind<100, true>;

TEST(StreamKind, BitArraysHaveTheDocumentedSizes)
{
    EXPECT_EQ(CPlayerKind::WORDS, 4);
    EXPECT_EQ(CVehicleKind::WORDS, 32);
    EXPECT_EQ((CStreamKind<2000, false>::WORDS), 63);
    EXPECT_EQ((CStreamKind<3000, false>::WORDS), 94);
}

TEST(StreamKind, OutOfRangeIdsAnswerFalse)
{
    CVehicleKind kind;
    EXPECT_FALSE(kind.IsStreamed(100, 5));
    EXPECT_FALSE(kind.IsStreamed(-1, 5));
    EXPECT_FALSE(kind.IsStreamed(3, 1001));
    EXPECT_FALSE(kind.IsStreamed(3, -1));
    kind.SetStreamed(3, 1000);
    EXPECT_TRUE(kind.IsStreamed(3, 1000));
    EXPECT_FALSE(kind.IsStreamed(3, 999));
}

TEST(StreamKind, PairIsListedOnceAndPruneDropsStaleNodes)
{
    CStreamNodePool pool;
    CVehicleKind kind;
    kind.SetStreamed(2, 10);
    ASSERT_TRUE(kind.Link(2, 10, pool));
    // Out and in again before a prune: the one node stays.
    kind.ClearStreamed(2, 10);
    kind.SetStreamed(2, 10);
    ASSERT_TRUE(kind.Link(2, 10, pool));
    EXPECT_EQ(kind.List(2).Count(), 1);

    kind.SetStreamed(2, 11);
    kind.Link(2, 11, pool);
    kind.SetStreamed(2, 12);
    kind.Link(2, 12, pool);
    kind.ClearStreamed(2, 11);
    // 12 is streamed but its entity is gone.
    kind.Prune(2, pool, [](int nId) { return nId != 12; });
    ASSERT_EQ(kind.List(2).Count(), 1);
    EXPECT_EQ(kind.List(2).First()->nId, 10);
    EXPECT_FALSE(kind.IsListed(2, 11));
    EXPECT_FALSE(kind.IsStreamed(2, 12));
    EXPECT_FALSE(kind.IsListed(2, 12));
}

TEST(StreamKind, PlayerListsBelongToTheTarget)
{
    CStreamNodePool pool;
    CPlayerKind kind;
    // Observers 4 and 9 see target 1; the newest comes first.
    kind.SetStreamed(4, 1);
    kind.Link(4, 1, pool);
    kind.SetStreamed(9, 1);
    kind.Link(9, 1, pool);
    int anIds[8];
    ASSERT_EQ(kind.Snapshot(1, anIds, 8), 2);
    EXPECT_EQ(anIds[0], 9);
    EXPECT_EQ(anIds[1], 4);
    EXPECT_TRUE(kind.List(4).IsEmpty());

    kind.ReleaseList(1, pool);
    EXPECT_TRUE(kind.List(1).IsEmpty());
    EXPECT_FALSE(kind.IsStreamed(4, 1));
    EXPECT_FALSE(kind.IsListed(9, 1));
    EXPECT_EQ(pool.GetFreeCount(), 500);
}

// Entities 0..9 exist; the messages the kind sends are written down.
class CListedSource : public IStreamEntitySource
{
public:
    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override
    {
        vPosition = Vector();
        nWorld = 0;
        return nId < 10;
    }
    int GetStreamId(const void*) const override { return -1; }
    void SendStreamIn(int nId, CPlayer*) override { m_Sent.push_back("in " + std::to_string(nId)); }
    void SendStreamOut(int nId, CPlayer*) override { m_Sent.push_back("out " + std::to_string(nId)); }

    std::vector<std::string> m_Sent;
};

// The mechanics every entity kind shares: nothing without its pool, the
// message before the bits, walks that skip what an earlier act streamed out,
// and an observer's slot left clean for the next player.
TEST(EntityStreamKind, InOutWalkAndDropFollowTheKindsOwnRules)
{
    CStreamNodePool pool;
    CEntityStreamKind<20, IStreamEntitySource> kind(150.0f, 170.0f, false);
    kind.StreamIn(nullptr, 3, 5, pool);
    EXPECT_FALSE(kind.IsStreamed(3, 5)) << "no pool, no entities";

    CListedSource source;
    kind.SetSource(&source);
    for (int nId : {5, 6, 7, 12})
        kind.StreamIn(nullptr, 3, nId, pool);
    kind.StreamOut(nullptr, 3, 6);
    EXPECT_EQ(source.m_Sent, (std::vector<std::string>{"in 5", "in 6", "in 7", "in 12", "out 6"}));
    EXPECT_EQ(kind.List(3).Count(), 4) << "a streamed-out node waits for the prune";

    // 12 no longer exists, 6 is streamed out: both go.
    kind.PruneGone(3, pool);
    EXPECT_EQ(kind.List(3).Count(), 2);

    // Newest first; the first act streams the other out, which is then skipped.
    std::vector<int> anVisited;
    kind.ForEachHeld(3,
                     [&](int nId)
                     {
                         anVisited.push_back(nId);
                         kind.StreamOut(nullptr, 3, nId == 7 ? 5 : 7);
                     });
    EXPECT_EQ(anVisited, std::vector<int>{7});

    kind.StreamIn(nullptr, 3, 9, pool);
    source.m_Sent.clear();
    kind.DropObserver(nullptr, 3, pool);
    EXPECT_EQ(source.m_Sent, (std::vector<std::string>{"out 9", "out 7"}));
    EXPECT_TRUE(kind.List(3).IsEmpty());
    EXPECT_FALSE(kind.IsListed(3, 7));
    EXPECT_EQ(pool.GetFreeCount(), 500);
}

} // namespace
