// Key binds: the table's limits through the plugin slots, what joining
// players and each tick send, and the key events clients report.
#include <gmock/gmock.h>

#include "ContentMessages.h"
#include "players/PlayerTestFixture.h"

using testclient::SKeyBindList;
using ::testing::ElementsAre;

namespace
{

class KeyBindsTest : public CPlayerTest
{
protected:
    // Every bind list the slot received, decoded.
    std::vector<SKeyBindList> Lists(int nSlot)
    {
        std::vector<SKeyBindList> lists;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, 221))
        {
            SKeyBindList list;
            EXPECT_TRUE(testclient::DecodeKeyBindList(received, list));
            lists.push_back(list);
        }
        return lists;
    }
};

TEST_F(KeyBindsTest, SlotsKeepTheirLimits)
{
    EXPECT_EQ(F()->GetKeyBindUnusedSlot(), 0);
    EXPECT_EQ(F()->RegisterKeyBind(49, 7, 300, 2, 3), 1);
    EXPECT_EQ(F()->RegisterKeyBind(50, 0, 1, 0, 0), 0);
    EXPECT_EQ(F()->RegisterKeyBind(-1, 0, 1, 0, 0), 0);
    EXPECT_EQ(F()->RemoveKeyBind(50), 0);

    int32_t nOnRelease = -9, nKey1 = -9, nKey2 = -9, nKey3 = -9;
    EXPECT_EQ(F()->GetKeyBindData(49, &nOnRelease, &nKey1, &nKey2, &nKey3), 1);
    EXPECT_EQ(nOnRelease, 1);
    EXPECT_EQ(nKey1, 300);
    EXPECT_EQ(nKey3, 3);
    EXPECT_EQ(F()->GetKeyBindData(50, &nOnRelease, &nKey1, nullptr, nullptr), 0);
    EXPECT_EQ(nOnRelease, 0);
    EXPECT_EQ(nKey1, 0);
    // A free slot still answers.
    EXPECT_EQ(F()->GetKeyBindData(3, nullptr, nullptr, nullptr, nullptr), 1);

    for (int nBind = 0; nBind < 49; ++nBind)
        F()->RegisterKeyBind(nBind, 0, 0, 0, nBind + 1);
    EXPECT_EQ(F()->GetKeyBindUnusedSlot(), -1);
    F()->RemoveKeyBind(17);
    EXPECT_EQ(F()->GetKeyBindUnusedSlot(), 17);
}

TEST_F(KeyBindsTest, TicksBroadcastOnlyChangedSlotsAndJoinersGetTheTable)
{
    ASSERT_TRUE(Join(0, "Alice"));
    EXPECT_TRUE(Lists(0).empty());
    Peer().ClearSent();
    Harness().Tick();
    EXPECT_TRUE(Peer().SentWithId(221).empty());

    F()->RegisterKeyBind(3, 1, 0x141, 0, 0);
    F()->RegisterKeyBind(8, 0, 5, 6, 0);
    Harness().Tick();
    ASSERT_EQ(Lists(0).size(), 1u);
    const SKeyBindList first = Lists(0)[0];
    ASSERT_EQ(first.binds.size(), 2u);
    EXPECT_EQ(first.binds[0].byBindId, 3);
    EXPECT_EQ(first.binds[0].byOnRelease, 1);
    EXPECT_EQ(first.binds[0].abyKeys[0], 0x41);
    EXPECT_EQ(first.binds[1].byBindId, 8);
    ASSERT_EQ(Peer().SentWithId(221).size(), 1u);
    EXPECT_TRUE(Peer().SentWithId(221)[0].bBroadcast);
    EXPECT_EQ(Peer().SentWithId(221)[0].nReliability, 3);

    Peer().ClearSent();
    F()->RemoveKeyBind(3);
    Harness().Tick();
    Harness().Tick();
    ASSERT_EQ(Lists(0).size(), 1u);
    ASSERT_EQ(Lists(0)[0].binds.size(), 1u);
    EXPECT_EQ(Lists(0)[0].binds[0].byBindId, 3);
    EXPECT_EQ(Lists(0)[0].binds[0].abyKeys[0], 0);

    // A joiner gets the binds in use only; the others hear nothing new.
    Peer().ClearSent();
    ASSERT_TRUE(Join(1, "Bob"));
    ASSERT_EQ(Lists(1).size(), 1u);
    ASSERT_EQ(Lists(1)[0].binds.size(), 1u);
    EXPECT_EQ(Lists(1)[0].binds[0].byBindId, 8);
    EXPECT_TRUE(Lists(0).empty());

    Peer().ClearSent();
    F()->RemoveAllKeyBinds();
    ASSERT_EQ(Lists(0).size(), 1u);
    EXPECT_TRUE(Lists(0)[0].bReset);
    Harness().Tick();
    EXPECT_EQ(Lists(0).size(), 1u);
}

TEST_F(KeyBindsTest, KeyEventsRaiseDownAlwaysAndUpOnlyWhenAskedFor)
{
    CPlayer* pPlayer = Join(2, "Carol");
    ASSERT_TRUE(pPlayer);
    const std::string strId = std::to_string(pPlayer->GetSlot());
    F()->RegisterKeyBind(4, 0, 10, 0, 0);
    F()->RegisterKeyBind(5, 1, 11, 0, 0);
    Send(2, {184, 4, 1});
    Send(2, {184, 4, 0});
    Send(2, {184, 5, 2});
    // Free, out of range and short reports are ignored.
    Send(2, {184, 6, 1});
    Send(2, {184, 200, 1});
    Send(2, {184, 5});
    EXPECT_THAT(Events("OnKeyBindDown"), ElementsAre("OnKeyBindDown " + strId + " 4"));
    EXPECT_THAT(Events("OnKeyBindUp"), ElementsAre("OnKeyBindUp " + strId + " 5"));
}

TEST_F(KeyBindsTest, KeyEventBeforeJoiningIsKicked)
{
    Harness().Connect(6);
    F()->RegisterKeyBind(4, 0, 10, 0, 0);
    Send(6, {184, 4, 1});
    EXPECT_TRUE(Events("OnKeyBindDown").empty());
    EXPECT_EQ(Server().GetConnectionState(6), CONNECTION_NONE);
}

} // namespace
