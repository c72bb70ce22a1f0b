#include <algorithm>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "plugins/PluginFuncs.h"
#include "world/support/CWorldFixture.h"

namespace
{

using worldtest::CWorldFixture;
using worldtest::SSent;

// The 32-bit value at byte offset nOffset, most significant byte first.
uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t nOffset)
{
    return (uint32_t{bytes[nOffset]} << 24) | (uint32_t{bytes[nOffset + 1]} << 16) |
           (uint32_t{bytes[nOffset + 2]} << 8) | bytes[nOffset + 3];
}

class WorldEffectsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::memset(&m_Funcs, 0, sizeof(m_Funcs));
        FillWorldEffectFuncs(&m_Funcs);
        m_World.AddPlayer(0, Vector(0, 0, 0), 1);
        m_World.AddPlayer(1, Vector(149, 0, 800), 1);
        m_World.AddPlayer(2, Vector(151, 0, 0), 1);
        m_World.AddPlayer(3, Vector(10, 0, 0), 2);
        m_World.AddPlayer(4, Vector(0, 199, 0), 4);
        m_World.Peer().m_Sent.clear();
    }

    std::vector<int> Recipients(int nId)
    {
        std::vector<int> slots;
        for (const SSent& sent : m_World.Peer().m_Sent)
        {
            if (sent.Id() == nId && !sent.bBroadcast)
                slots.push_back(sent.nSlot);
        }
        return slots;
    }

    CWorldFixture m_World;
    PluginFuncs m_Funcs;
};

TEST_F(WorldEffectsTest, ExplosionReachesPlayersWithin150WhoSeeTheWorld)
{
    CPlayer* pCause = m_World.Server().m_pPlayerPool->Get(2);
    ASSERT_EQ(m_Funcs.CreateExplosion(1, 3, 0.0f, 0.0f, 0.0f, 2, 7), 1);
    std::vector<int> slots = Recipients(ID_EXPLOSION);
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<int>{0, 1}));
    // type, x, y, z, cause, flag, vehicle
    const SSent& sent = m_World.Peer().m_Sent[0];
    ASSERT_EQ(sent.bytes.size(), 1u + 1 + 12 + 4 + 1 + 2);
    EXPECT_EQ(sent.bytes[1], 3);
    EXPECT_EQ(ReadU32(sent.bytes, 14), pCause->GetPlayerId());
    EXPECT_EQ(sent.bytes[18], 7);
}

TEST_F(WorldEffectsTest, ExplosionWithoutAValidPlayerHasNoCause)
{
    m_Funcs.CreateExplosion(2, 1, 0.0f, 0.0f, 0.0f, 77, 0);
    ASSERT_EQ(Recipients(ID_EXPLOSION), (std::vector<int>{3}));
    EXPECT_EQ(ReadU32(m_World.Peer().m_Sent[0].bytes, 14), 0xFFFFFFFFu);
}

TEST_F(WorldEffectsTest, SoundReachesEveryWorldWithin200ForWorldZero)
{
    ASSERT_EQ(m_Funcs.PlaySound(0, 12, 0.0f, 0.0f, 0.0f), 1);
    std::vector<int> slots = Recipients(ID_POSITIONAL_EFFECT);
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<int>{0, 1, 2, 3, 4}));
    m_World.Peer().m_Sent.clear();
    // A non-finite point is clamped rather than sent.
    m_Funcs.PlaySound(4, 12, NAN, 0.0f, 0.0f);
    EXPECT_EQ(Recipients(ID_POSITIONAL_EFFECT), (std::vector<int>{4}));
}

} // namespace
