// Handling rules: the stored forms of integer and float rules, the ranges,
// the reset forms, the batches a joining player gets, the defaults and the
// operator's default table file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "VehicleTestFixture.h"
#include "world/CHandlingRules.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
class HandlingRulesTest : public CVehicleTest
{
protected:
    void TearDown() override
    {
        RestoreHandlingDefaults();
        CVehicleTest::TearDown();
    }

    std::vector<testclient::SHandlingRules> RulesTo(int nSlot)
    {
        std::vector<testclient::SHandlingRules> batches;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, wire::SV_HANDLING_RULES))
        {
            testclient::SHandlingRules batch;
            EXPECT_TRUE(testclient::DecodeHandlingRules(received, batch));
            batches.push_back(batch);
        }
        return batches;
    }
};

TEST_F(HandlingRulesTest, IntegerRulesAreTruncatedAndOthersStoredAsFloats)
{
    EXPECT_EQ(F()->SetHandlingRule(130, 12, 5.9), 1);
    EXPECT_EQ(F()->GetHandlingRule(130, 12), 5.0);
    EXPECT_EQ(F()->SetHandlingRule(130, 1, 1234.5), 1);
    EXPECT_EQ(F()->GetHandlingRule(130, 1), 1234.5);
    F()->SetHandlingRule(130, 28, -1.0);
    EXPECT_EQ(F()->GetHandlingRule(130, 28), 4294967295.0) << "read back unsigned";
    auto batches = RulesTo(0);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].entries[0].uiValue, 5u);
    EXPECT_EQ(batches[1].entries[0].uiValue, 0x449A5000u);

    // Out of range: ignored, and the default answers.
    F()->SetHandlingRule(129, 1, 1.0);
    F()->SetHandlingRule(130, 34, 1.0);
    EXPECT_EQ(F()->ExistsHandlingRule(130, 34), 0);
    EXPECT_EQ(F()->GetHandlingRule(130, 34), 0.0);
    EXPECT_EQ(RulesTo(0).size(), 3u);

    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    StreamAll();
    EXPECT_EQ(F()->SetInstHandlingRule(nId, 34, 2.5), 1);
    EXPECT_EQ(F()->SetInstHandlingRule(nId, 35, 2.5), 0);
    EXPECT_EQ(F()->GetInstHandlingRule(nId, 34), 2.5);
    EXPECT_EQ(F()->GetInstHandlingRule(nId, 1), 1234.5) << "falls back to the model";
    EXPECT_EQ(F()->GetInstHandlingRule(0, 1), 0.0);
}

TEST_F(HandlingRulesTest, ResetsSendTheDropFormsOnlyForWhatExisted)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    StreamAll();
    F()->SetHandlingRule(131, 2, 1.0);
    F()->SetInstHandlingRule(nId, 3, 1.0);
    Peer().ClearSent();
    F()->ResetHandlingRule(131, 5);
    F()->ResetHandlingRule(131, 2);
    F()->ResetHandling(131);
    F()->ResetInstHandlingRule(nId, 3);
    F()->ResetInstHandling(nId);
    F()->ResetAllVehicleHandlings();
    std::vector<std::tuple<int, int, uint32_t>> entries;
    for (const auto& batch : RulesTo(1))
        for (const auto& entry : batch.entries)
            entries.emplace_back(entry.usId, entry.byRule, entry.uiValue);
    EXPECT_THAT(entries,
                ElementsAre(std::make_tuple(131, 2, 0xFFFFFFFFu), std::make_tuple(10001, 3, 0xFFFFFFFFu),
                            std::make_tuple(0, 0, 0xFFFFFFFFu)));
}

// A new vehicle's observers get its overrides right after it streams in; a
// joining player gets every model override in batches of at most 20.
TEST_F(HandlingRulesTest, OverridesReachNewObserversInBatches)
{
    for (int i = 0; i < 45; ++i)
        F()->SetHandlingRule(130 + i / 30, 1 + i % 30, i);
    const int nId = Create(130, Vector(900.0f, 0.0f, 10.0f));
    F()->SetInstHandlingRule(nId, 5, 2.0);
    ASSERT_NE(Join(5, "Carol"), nullptr);
    auto batches = RulesTo(5);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].byCount, 20);
    EXPECT_EQ(batches[1].byCount, 20);
    EXPECT_EQ(batches[2].byCount, 5);
    EXPECT_EQ(batches[2].entries.size(), 5u);
    EXPECT_EQ(batches[2].entries.back().usId, 131);

    Peer().ClearSent();
    F()->SetPlayerPosition(0, 900.0f, 5.0f, 10.0f);
    const std::vector<int> ids = IdsReceivedBy(0);
    auto created = std::find(ids.begin(), ids.end(), wire::SV_VEHICLE_CREATE);
    ASSERT_NE(created, ids.end());
    ASSERT_NE(created + 1, ids.end());
    EXPECT_EQ(*(created + 1), wire::SV_HANDLING_RULES);
    EXPECT_EQ(RulesTo(0).back().entries[0].usId, 10000 + nId);
}

TEST_F(HandlingRulesTest, DefaultsComeFromTheTableTheOptionsAndTheOperatorsFile)
{
    EXPECT_EQ(F()->GetHandlingRule(130, 1), 1700.0);
    EXPECT_EQ(F()->GetHandlingRule(236, 28), 16810369.0);
    EXPECT_EQ(F()->GetHandlingRule(136, 9), -4.0);
    EXPECT_EQ(F()->GetHandlingRule(131, 1), 0.0) << "rows not known are 0";
    Server().m_WorldOptions.uiOptions |= 256;
    EXPECT_EQ(F()->GetHandlingRule(131, 32), 1.0);

    std::string strRow = "131";
    for (int i = 1; i <= 30; ++i)
        strRow += " " + std::to_string(i);
    Harness().Folder().Write("good.txt", "# operator rows\n\n" + strRow + "  # model 131\n");
    EXPECT_TRUE(LoadHandlingDefaults((Harness().Folder().Path() + "/good.txt").c_str()));
    EXPECT_EQ(F()->GetHandlingRule(131, 30), 30.0);

    Harness().TakeOutput();
    Harness().Folder().Write("bad.txt", strRow + "\n132 1 2 3\n");
    EXPECT_FALSE(LoadHandlingDefaults((Harness().Folder().Path() + "/bad.txt").c_str()));
    EXPECT_THAT(Harness().TakeOutput(), HasSubstr("bad.txt:2:"));
    EXPECT_EQ(F()->GetHandlingRule(131, 30), 30.0) << "a refused file changes nothing";
    EXPECT_EQ(F()->GetHandlingRule(132, 1), 0.0);
}
} // namespace
