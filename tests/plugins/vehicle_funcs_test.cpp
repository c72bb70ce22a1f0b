// The vehicle functions of the plugin table: what an invalid id answers,
// the model and pool limits, and the values whose rules are easy to get wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "world/VehicleTestFixture.h"

using ::testing::ElementsAre;

namespace
{
class VehicleFuncsTest : public CVehicleTest
{
};

TEST_F(VehicleFuncsTest, InvalidIdsGetTheirOwnAnswers)
{
    float fX = 7.0f;
    int32_t nSpare = 9;
    EXPECT_EQ(F()->GetVehicleModel(0), 0);
    EXPECT_EQ(F()->GetVehicleWorld(0), -1);
    EXPECT_EQ(F()->GetVehicleSyncSource(5), -1);
    EXPECT_EQ(F()->GetVehicleSyncType(5), -1);
    EXPECT_EQ(F()->GetVehicleOccupant(5, 0), -1);
    EXPECT_EQ(F()->GetVehicleRadio(5), -1);
    EXPECT_EQ(F()->GetVehicleOptionFlag2(5), -1);
    EXPECT_EQ(F()->GetVehicleOptionFlag0(5), 0);
    EXPECT_EQ(F()->GetVehicleHealth(5), 0.0f);
    EXPECT_EQ(F()->GetVehiclePosition(5, &fX, nullptr, nullptr), 0);
    EXPECT_EQ(fX, 7.0f);
    EXPECT_EQ(F()->SetVehicleHealth(1001, 5.0f), 0);
    EXPECT_EQ(F()->GetVehicleSpawnPosition(5, nullptr, nullptr, nullptr, &nSpare), 0);
    EXPECT_EQ(nSpare, 9);
}

TEST_F(VehicleFuncsTest, ModelsAndSlotsAreRefusedAtTheirLimits)
{
    for (int nModel : {129, 165, 180, 181, 237})
        EXPECT_EQ(Create(nModel, Vector()), 0) << nModel;
    const int nFirst = Create(130, Vector(0.0f, 0.0f, 10.0f), 0);
    EXPECT_EQ(F()->GetVehicleWorld(nFirst), 1) << "world 0 becomes 1";
    for (int i = 2; i <= 1000; ++i)
        ASSERT_EQ(Create(131, Vector(1000.0f, 0.0f, 10.0f)), i);
    EXPECT_EQ(Create(131, Vector()), 0);
    EXPECT_EQ(F()->DeleteVehicle(7), 1);
    EXPECT_EQ(F()->DeleteVehicle(7), 0);
    EXPECT_EQ(Create(132, Vector()), 7);
}

TEST_F(VehicleFuncsTest, FieldRulesHoldThroughTheTable)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    StreamAll();
    Peer().ClearSent();
    F()->SetVehicleDamageData(nId, static_cast<int32_t>(0xFFFFFFFFu));
    EXPECT_EQ(F()->SetVehiclePartStatus(nId, 3, 1), 1);
    EXPECT_EQ(F()->GetVehicleDamageData(nId), static_cast<int32_t>(0xFFFFFF7Fu));
    EXPECT_EQ(F()->SetVehicleDoorStatus(nId, 4, 0), 1);
    EXPECT_EQ(F()->GetVehicleDoorStatus(nId, 4), 0);
    EXPECT_EQ(F()->GetVehiclePartStatus(nId, 3), 1);
    EXPECT_EQ(F()->SetVehiclePartStatus(nId, 11, 1), 0);
    EXPECT_EQ(F()->GetVehicleOccupant(nId, 9), -1);
    EXPECT_EQ(F()->GetVehicleOccupant(nId, 8), 255);
    F()->SetVehicleRadio(nId, 45);
    EXPECT_EQ(F()->GetVehicleRadio(nId), 30);
    int32_t nSpare = 9;
    EXPECT_EQ(F()->GetVehicleSpawnPosition(nId, nullptr, nullptr, nullptr, &nSpare), 1);
    EXPECT_EQ(nSpare, 0);

    // Option flags announce only a change; the option byte always.
    F()->SetVehicleOptionFlag0(nId, 0);
    EXPECT_EQ(CountTo(1, wire::SV_VEHICLE_OPTIONS), 0);
    F()->SetVehicleOptionFlag0(nId, 1);
    F()->SetVehicleOptionByte(nId, 0x1FF);
    EXPECT_EQ(CountTo(1, wire::SV_VEHICLE_OPTIONS), 2);
    EXPECT_EQ(F()->GetVehicleOptionByte(nId), 0xFF);

    // Relative speed: set in the vehicle's frame, read back the same.
    F()->SetVehicleRotationEuler(nId, 0.0f, 0.0f, 1.5707964f);
    F()->SetVehicleRelativeSpeed(nId, 1.0f, 0.0f, 0.0f);
    float fX = 0, fY = 0, fZ = 0;
    F()->GetVehicleRelativeSpeed(nId, &fX, &fY, &fZ);
    EXPECT_NEAR(fX, 1.0f, 1e-5);
    EXPECT_NEAR(fY, 0.0f, 1e-5);
    F()->GetVehicleSpeed(nId, &fX, &fY, &fZ);
    EXPECT_NEAR(std::fabs(fY), 1.0f, 1e-5);
    EXPECT_THAT(Events("OnVehicleUpdate"), ElementsAre("OnVehicleUpdate 1 6"));
}
} // namespace
