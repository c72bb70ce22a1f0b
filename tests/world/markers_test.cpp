// Coordinate markers: slot choice and limits, who is told of a marker by its
// world, and the withdraw-then-send around a player's world change.
#include <gmock/gmock.h>

#include "ContentMessages.h"
#include "players/PlayerTestFixture.h"

using ::testing::ElementsAre;

namespace
{

class MarkersTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        for (int nSlot : {0, 1, 3})
            ASSERT_TRUE(Join(nSlot, ("P" + std::to_string(nSlot)).c_str()));
        Peer().ClearSent();
    }

    // "+index" for a create, "-index" for a destroy, in the order the slot got them.
    std::vector<std::string> MarkerTraffic(int nSlot)
    {
        std::vector<std::string> traffic;
        for (const nettest::SSentMessage& sent : Peer().SentTo(nSlot))
        {
            if (sent.Id() == 223 || sent.Id() == 224)
                traffic.push_back((sent.Id() == 223 ? "+" : "-") + std::to_string(sent.Payload()[0]));
        }
        return traffic;
    }
};

TEST_F(MarkersTest, AutomaticIndicesRunOutAfterOneHundred)
{
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(F()->CreateMarker(-1, 0, 1.0f, 2.0f, 3.0f, 0, 0, 0), i);
    EXPECT_EQ(F()->CreateMarker(-1, 0, 1.0f, 2.0f, 3.0f, 0, 0, 0), -1);
    EXPECT_EQ(F()->CreateMarker(100, 0, 1.0f, 2.0f, 3.0f, 0, 0, 0), -1);
    EXPECT_EQ(F()->CreateMarker(-2, 0, 1.0f, 2.0f, 3.0f, 0, 0, 0), -1);
}

TEST_F(MarkersTest, CreateCarriesItsFieldsAndInfoReadsThemBack)
{
    ASSERT_EQ(F()->CreateMarker(7, 0, 10.5f, -20.0f, 30.25f, 0x1FF, -2, 0x102), 7);
    auto received = ReceivedBy(0, 223);
    ASSERT_EQ(received.size(), 1u);
    testclient::SMarkerCreate create;
    ASSERT_TRUE(testclient::DecodeMarkerCreate(received[0], create));
    EXPECT_EQ(create.byIndex, 7);
    EXPECT_FLOAT_EQ(create.fX, 10.5f);
    EXPECT_FLOAT_EQ(create.fY, -20.0f);
    EXPECT_FLOAT_EQ(create.fZ, 30.25f);
    EXPECT_EQ(create.byAttributeA, 0xFF);
    EXPECT_EQ(create.uiAttributeB, 0xFFFFFFFEu);
    EXPECT_EQ(create.byAttributeC, 0x02);
    EXPECT_EQ(received[0].payload.size(), 1u + 12 + 1 + 4 + 1);

    int32_t nWorld = -1, nA = 0, nB = 0, nC = 0;
    float fX = 0;
    EXPECT_EQ(F()->GetMarkerInfo(7, &nWorld, &fX, nullptr, nullptr, &nA, &nB, &nC), 1);
    EXPECT_EQ(nWorld, 0);
    EXPECT_FLOAT_EQ(fX, 10.5f);
    EXPECT_EQ(nA, 0x1FF);
    EXPECT_EQ(nB, -2);
    EXPECT_EQ(nC, 0x102);
    EXPECT_EQ(F()->GetMarkerInfo(8, &nWorld, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(F()->GetMarkerInfo(100, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(MarkersTest, OnlyPlayersWhoSeeTheWorldAreTold)
{
    F()->CreateMarker(0, 0, 0, 0, 0, 0, 0, 0);
    F()->CreateMarker(1, 10003, 0, 0, 0, 0, 0, 0);
    F()->CreateMarker(2, 5, 0, 0, 0, 0, 0, 0);
    F()->SetPlayerSecondaryWorld(1, 10003);
    Peer().ClearSent();
    F()->CreateMarker(3, 10003, 0, 0, 0, 0, 0, 0);
    EXPECT_THAT(MarkerTraffic(0), ElementsAre());
    EXPECT_THAT(MarkerTraffic(1), ElementsAre("+3"));
    EXPECT_THAT(MarkerTraffic(3), ElementsAre("+3"));

    // Replacing a marker first withdraws it from those who saw it.
    Peer().ClearSent();
    F()->CreateMarker(1, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_THAT(MarkerTraffic(0), ElementsAre("+1"));
    EXPECT_THAT(MarkerTraffic(3), ElementsAre("-1", "+1"));
    EXPECT_THAT(MarkerTraffic(1), ElementsAre("-1", "+1"));

    Peer().ClearSent();
    F()->DestroyMarker(2);
    F()->DestroyMarker(2);
    F()->DestroyMarker(50);
    F()->DestroyMarker(-1);
    EXPECT_TRUE(Peer().SentWithId(224).empty());
}

TEST_F(MarkersTest, WorldChangeWithdrawsWithTheOldWorldsThenSendsWithTheNew)
{
    F()->CreateMarker(0, 0, 0, 0, 0, 0, 0, 0);
    F()->CreateMarker(1, 1, 0, 0, 0, 0, 0, 0);
    F()->CreateMarker(2, 2, 0, 0, 0, 0, 0, 0);
    Peer().ClearSent();
    F()->SetPlayerWorld(0, 2);
    EXPECT_THAT(MarkerTraffic(0), ElementsAre("-0", "-1", "+0", "+2"));
    EXPECT_THAT(MarkerTraffic(1), ElementsAre());

    Peer().ClearSent();
    F()->SetPlayerWorld(0, 2);
    F()->SetPlayerSecondaryWorld(0, 1);
    EXPECT_THAT(MarkerTraffic(0), ElementsAre("-0", "-2", "+0", "+1", "+2"));

    // A joiner sees the markers of its worlds.
    Peer().ClearSent();
    ASSERT_TRUE(Join(5, "Eve"));
    EXPECT_THAT(MarkerTraffic(5), ElementsAre("+0", "+1"));
}

} // namespace
