// Radio stations and hidden map objects: what each change sends, the cuts of
// the radio texts, the batches and key order of the hidden set, and what a
// joining player is sent.
#include <gmock/gmock.h>

#include "ContentMessages.h"
#include "players/PlayerTestFixture.h"

using testclient::SHiddenObjects;
using testclient::SRadioStation;
using ::testing::ElementsAre;

namespace
{

class ContentTablesTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        ASSERT_TRUE(Join(0, "Alice"));
        Peer().ClearSent();
    }

    std::vector<SRadioStation> Stations(int nSlot)
    {
        std::vector<SRadioStation> stations;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, 225))
        {
            SRadioStation station;
            EXPECT_TRUE(testclient::DecodeRadioStation(received, station));
            stations.push_back(station);
        }
        return stations;
    }

    std::vector<SHiddenObjects> Hidden(int nSlot)
    {
        std::vector<SHiddenObjects> batches;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, 219))
        {
            SHiddenObjects batch;
            EXPECT_TRUE(testclient::DecodeHiddenObjects(received, batch));
            batches.push_back(batch);
        }
        return batches;
    }
};

TEST_F(ContentTablesTest, RadioTextsAreCutOnTheWireOrInTheName)
{
    const std::string strSource(300, 's');
    const std::string strName = std::string(23, 'n') + "cut-off-part-of-name!";
    EXPECT_EQ(F()->SetRadioStation(12, strName.c_str(), strSource.c_str(), 5), 1);
    ASSERT_EQ(Stations(0).size(), 1u);
    const SRadioStation station = Stations(0)[0];
    EXPECT_EQ(station.byIndex, 12);
    EXPECT_EQ(station.strSource, strSource.substr(0, 255));
    EXPECT_EQ(station.strName, strName.substr(0, 23));
    EXPECT_TRUE(station.bFlag);
    // The source is kept whole.
    EXPECT_EQ(std::string(Server().m_RadioStations.GetSource(12)), strSource);
}

TEST_F(ContentTablesTest, RadioChangesOutsideTheRangeOrWithoutTextsSendNothing)
{
    EXPECT_EQ(F()->SetRadioStation(10, "x", "y", 0), 1);
    EXPECT_EQ(F()->SetRadioStation(31, "x", "y", 0), 1);
    F()->SetRadioStation(20, "name", "source", 0);
    Peer().ClearSent();
    // A null name only clears; clients keep their copy until the next change.
    F()->SetRadioStation(20, nullptr, "source", 0);
    EXPECT_EQ(Server().m_RadioStations.GetSource(20), nullptr);
    EXPECT_EQ(F()->RemoveRadioStation(20), 1);
    EXPECT_EQ(F()->RemoveRadioStation(99), 1);
    EXPECT_TRUE(Peer().SentWithId(225).empty());

    F()->SetRadioStation(21, "name", "source", 1);
    Peer().ClearSent();
    F()->RemoveRadioStation(21);
    ASSERT_EQ(Stations(0).size(), 1u);
    EXPECT_EQ(Stations(0)[0].byIndex, 21);
    EXPECT_TRUE(Stations(0)[0].strSource.empty());
    EXPECT_TRUE(Stations(0)[0].strName.empty());
    EXPECT_FALSE(Stations(0)[0].bFlag);
}

TEST_F(ContentTablesTest, JoinerGetsTheDefinedStationsInIndexOrder)
{
    F()->SetRadioStation(30, "c", "3", 0);
    F()->SetRadioStation(11, "a", "1", 0);
    F()->SetRadioStation(15, "b", "2", 0);
    Peer().ClearSent();
    ASSERT_TRUE(Join(1, "Bob"));
    std::vector<int> indices;
    for (const SRadioStation& station : Stations(1))
        indices.push_back(station.byIndex);
    EXPECT_THAT(indices, ElementsAre(11, 15, 30));
}

TEST_F(ContentTablesTest, HidingTwiceOrShowingTheAbsentSendsOnce)
{
    EXPECT_EQ(F()->HideMapObject(5, 100, -200, 300), 1);
    EXPECT_EQ(F()->HideMapObject(65541, 100, -200, 300), 1);
    EXPECT_EQ(F()->HideMapObject(6, 100, -200, 300), 1);
    EXPECT_EQ(F()->ShowMapObject(7, 100, -200, 300), 1);
    ASSERT_EQ(Hidden(0).size(), 2u);
    EXPECT_EQ(Hidden(0)[0].byAction, 0);
    // z, y, x, model from the most significant end.
    EXPECT_THAT(Hidden(0)[0].keys, ElementsAre(0x012CFF3800640005ull));
    EXPECT_EQ(Server().m_pStreamer->GetHiddenMapObjects().Count(), 2);

    Peer().ClearSent();
    F()->ShowMapObject(5, 100, -200, 300);
    ASSERT_EQ(Hidden(0).size(), 1u);
    EXPECT_EQ(Hidden(0)[0].byAction, 1);
    EXPECT_EQ(Server().m_pStreamer->GetHiddenMapObjects().Count(), 1);
}

TEST_F(ContentTablesTest, ShowAllAndJoinersGoInBatchesOfTenInKeyOrder)
{
    for (int i = 24; i >= 0; --i)
        F()->HideMapObject(i, 0, 0, i % 3);
    Peer().ClearSent();
    ASSERT_TRUE(Join(1, "Bob"));
    std::vector<SHiddenObjects> joined = Hidden(1);
    ASSERT_EQ(joined.size(), 3u);
    EXPECT_EQ(joined[0].keys.size(), 10u);
    EXPECT_EQ(joined[2].keys.size(), 5u);
    EXPECT_EQ(joined[2].byAction, 0);

    Peer().ClearSent();
    F()->ShowAllMapObjects();
    std::vector<SHiddenObjects> shown = Hidden(0);
    ASSERT_EQ(shown.size(), 3u);
    std::vector<uint64_t> keys;
    for (const SHiddenObjects& batch : shown)
    {
        EXPECT_EQ(batch.byAction, 1);
        keys.insert(keys.end(), batch.keys.begin(), batch.keys.end());
    }
    EXPECT_EQ(shown[1].keys.size(), 10u);
    ASSERT_EQ(keys.size(), 25u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(Server().m_pStreamer->GetHiddenMapObjects().Count(), 0);

    Peer().ClearSent();
    F()->ShowAllMapObjects();
    EXPECT_TRUE(Peer().SentWithId(219).empty());
}

} // namespace
