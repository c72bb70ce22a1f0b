// State changes the server sends about a player: weapons and their slots,
// change sequences, the flag word and its visible bits, and the other setters'
// messages and recipients.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PlayerTestFixture.h"
#include "players/PlayerMessages.h"
#include "players/PlayerStream.h"
#include "players/WeaponSlots.h"

using ::testing::ElementsAre;

namespace
{
TEST(WeaponSlotTest, GameWeaponsMapToTheirSlotsAndEverythingElseToNone)
{
    struct SRange
    {
        int nFirst, nLast, nSlot;
    };
    const SRange aRanges[] = {{0, 1, 0},   {2, 11, 1},  {12, 16, 2}, {17, 18, 3}, {19, 21, 4}, {22, 25, 5},
                              {26, 27, 6}, {28, 29, 8}, {30, 33, 7}, {34, 34, 9}, {35, 99, 10}};
    for (const SRange& range : aRanges)
        for (int nWeapon = range.nFirst; nWeapon <= range.nLast; ++nWeapon)
            EXPECT_EQ(GetWeaponSlot(nWeapon), range.nSlot) << "weapon " << nWeapon;
    // Custom weapons have no slot until registered; beyond them nothing does.
    for (int nWeapon : {100, 120, 249, 250, 255, -1, 1000})
        EXPECT_EQ(GetWeaponSlot(nWeapon), WEAPON_SLOT_INVALID) << "weapon " << nWeapon;
    EXPECT_EQ(GetBaseWeapon(17), 17);
    EXPECT_EQ(GetBaseWeapon(29), 29);
    EXPECT_EQ(GetBaseWeapon(120), -1);
    EXPECT_EQ(GetBaseWeapon(300), 300);
}

class PlayerStateTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        m_pPlayer = Join(0, "Subject");
        ASSERT_NE(m_pPlayer, nullptr);
        Peer().ClearSent();
        Host().ClearLog();
    }

    testclient::SGiveWeapon LastGive()
    {
        testclient::SGiveWeapon give;
        auto gives = ReceivedBy(0, ID_GIVE_WEAPON);
        EXPECT_FALSE(gives.empty());
        if (!gives.empty())
            EXPECT_TRUE(testclient::DecodeGiveWeapon(gives.back(), give));
        return give;
    }

    CPlayer* m_pPlayer = nullptr;
};

TEST_F(PlayerStateTest, GivingAddsAmmunitionExceptToMeleeWeapons)
{
    m_pPlayer->GiveWeaponAddingAmmo(17, 120, false);
    m_pPlayer->GiveWeaponAddingAmmo(17, 120, false);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[3], 17);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[3], 240);
    EXPECT_EQ(LastGive().usAmmo, 240);
    m_pPlayer->GiveWeaponAddingAmmo(3, 50, false);
    m_pPlayer->GiveWeaponAddingAmmo(3, 50, false);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[1], 1);
    // Another weapon of the same slot replaces the first one's ammunition.
    m_pPlayer->GiveWeaponAddingAmmo(18, 30, false);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[3], 18);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[3], 30);
    m_pPlayer->GiveWeaponAddingAmmo(18, 49990, false);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[3], 50000);
    // The weapon in hand does not change.
    EXPECT_EQ(m_pPlayer->m_byWeapon, 0);
    EXPECT_EQ(m_pPlayer->m_byWeaponSlot, 0);
}

TEST_F(PlayerStateTest, GiveWeaponReplacesClampsAndIgnoresWeaponsWithoutSlot)
{
    EXPECT_EQ(F()->SetPlayerWeapon(0, 26, 70000), 1);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[6], 50000);
    testclient::SGiveWeapon give = LastGive();
    EXPECT_EQ(give.byWeapon, 26);
    EXPECT_EQ(give.usAmmo, 50000);
    EXPECT_EQ(give.byArmed, 1);
    F()->SetPlayerWeapon(0, 26, 5);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[6], 5);
    F()->SetPlayerWeapon(0, 26, -3);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[6], 0);
    const size_t nGives = ReceivedBy(0, ID_GIVE_WEAPON).size();
    F()->GivePlayerWeapon(0, 40, 10);
    F()->GivePlayerWeapon(0, 120, 10);
    EXPECT_EQ(ReceivedBy(0, ID_GIVE_WEAPON).size(), nGives);
}

TEST_F(PlayerStateTest, RemovingAWeaponNotHeldStillSendsAndChangesNothing)
{
    F()->GivePlayerWeapon(0, 17, 50);
    F()->RemovePlayerWeapon(0, 18);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[3], 17);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[3], 50);
    auto removes = ReceivedBy(0, ID_REMOVE_WEAPON);
    ASSERT_EQ(removes.size(), 1u);
    testclient::SGiveWeapon remove;
    ASSERT_TRUE(testclient::DecodeRemoveWeapon(removes[0], remove));
    EXPECT_EQ(remove.byWeapon, 18);
    // An invalid weapon is ignored silently.
    F()->RemovePlayerWeapon(0, 77);
    EXPECT_EQ(ReceivedBy(0, ID_REMOVE_WEAPON).size(), 1u);
}

TEST_F(PlayerStateTest, RemovingTheWeaponInHandFallsBackToSlotZeroQuietly)
{
    F()->GivePlayerWeapon(0, 1, 1);
    F()->GivePlayerWeapon(0, 22, 90);
    F()->SetPlayerWeaponSlot(0, 5);
    EXPECT_EQ(F()->GetPlayerWeapon(0), 22);
    EXPECT_EQ(F()->GetPlayerWeaponAmmo(0), 90);
    EXPECT_EQ(ReceivedBy(0, ID_SELECT_WEAPON_SLOT).size(), 1u);
    F()->RemovePlayerWeapon(0, 22);
    EXPECT_EQ(F()->GetPlayerWeaponSlot(0), 0);
    EXPECT_EQ(F()->GetPlayerWeapon(0), 1);
    EXPECT_EQ(m_pPlayer->m_usAmmo, 1);
    EXPECT_EQ(ReceivedBy(0, ID_SELECT_WEAPON_SLOT).size(), 1u);
    // Only slots 0..9 can be selected.
    F()->SetPlayerWeaponSlot(0, 10);
    F()->SetPlayerWeaponSlot(0, -1);
    EXPECT_EQ(ReceivedBy(0, ID_SELECT_WEAPON_SLOT).size(), 1u);
}

// The anti-cheat waits for the client to echo these sequences.
TEST_F(PlayerStateTest, EachAnnouncedChangeTakesTheNextSequence)
{
    const uint32_t uiNow = Server().m_uiNow;
    m_pPlayer->SetHealth(50, true);
    m_pPlayer->SetArmour(20, true);
    m_pPlayer->SetHealth(60, false);
    m_pPlayer->ResetWeapons(true);
    m_pPlayer->GiveWeapon(17, 5, true);
    EXPECT_EQ(m_pPlayer->m_byHealth, 60);
    EXPECT_EQ(m_pPlayer->m_auiPendingSequence[CHANGE_HEALTH], 1u);
    EXPECT_EQ(m_pPlayer->m_auiPendingSequence[CHANGE_ARMOUR], 2u);
    EXPECT_EQ(m_pPlayer->m_auiPendingSequence[CHANGE_WEAPONS], 4u);
    EXPECT_EQ(m_pPlayer->m_auiPendingTime[CHANGE_HEALTH], uiNow);
    EXPECT_EQ(m_pPlayer->m_uiChangeSequence, 5u);
    auto healths = ReceivedBy(0, ID_HEALTH);
    ASSERT_EQ(healths.size(), 1u);
    testclient::SSequencedValue health;
    ASSERT_TRUE(testclient::DecodeSequencedValue(healths[0], health));
    EXPECT_EQ(health.uiSequence, 1u);
    EXPECT_EQ(health.byValue, 50);
    uint32_t uiResetSequence = 0;
    auto resets = ReceivedBy(0, ID_RESET_WEAPONS);
    ASSERT_EQ(resets.size(), 1u);
    ASSERT_TRUE(testclient::DecodeResetWeapons(resets[0], uiResetSequence));
    EXPECT_EQ(uiResetSequence, 3u);
    EXPECT_EQ(LastGive().uiSequence, 4u);
    for (const auto& sent : Peer().SentTo(0, ID_HEALTH))
        EXPECT_EQ(sent.nReliability, 3);
}

TEST_F(PlayerStateTest, HealthAndArmourKeepTheLowEightBitsOfTheWholeNumber)
{
    EXPECT_EQ(F()->SetPlayerHealth(0, 150.7f), 1);
    EXPECT_EQ(m_pPlayer->m_byHealth, 150);
    EXPECT_EQ(F()->GetPlayerHealth(0), 150.0f);
    F()->SetPlayerHealth(0, 300.0f);
    EXPECT_EQ(m_pPlayer->m_byHealth, 44);
    F()->SetPlayerHealth(0, -1.0f);
    EXPECT_EQ(m_pPlayer->m_byHealth, 255);
    F()->SetPlayerHealth(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(m_pPlayer->m_byHealth, 0);
    F()->SetPlayerArmour(0, 300.0f);
    EXPECT_EQ(F()->GetPlayerArmour(0), 44.0f);
    F()->SetPlayerArmour(0, 1e30f);
    EXPECT_EQ(m_pPlayer->m_byArmour, 0);
    auto armours = ReceivedBy(0, ID_ARMOUR);
    ASSERT_EQ(armours.size(), 2u);
}

TEST_F(PlayerStateTest, NewPlayerStartsWithFlags0x1063)
{
    Peer().ClearSent();
    ASSERT_NE(Join(1, "Fresh"), nullptr);
    auto flags = ReceivedBy(1, ID_FLAGS);
    ASSERT_EQ(flags.size(), 1u);
    testclient::SFlags decoded;
    ASSERT_TRUE(testclient::DecodeFlags(flags[0], decoded));
    EXPECT_EQ(decoded.usFlags, 0x1063);
    EXPECT_EQ(decoded.byClientFlags2, 0);
    const int aExpected[10] = {1, 1, 0, 0, 0, 1, 1, 1, 1, 0};
    int32_t (*aGet[10])(int32_t) = {F()->GetPlayerOption0, F()->GetPlayerOption1,  F()->GetPlayerOption2,
                                    F()->GetPlayerOption3, F()->GetPlayerOption4,  F()->GetPlayerOption5,
                                    F()->GetPlayerOption6, F()->GetPlayerOption12, F()->GetPlayerOption8,
                                    F()->GetPlayerOption7};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(aGet[i](1), aExpected[i]) << "option getter " << i;
}

// The server default of option 8 is stored inverted, like the bit itself.
TEST_F(PlayerStateTest, DefaultOption8DecidesBit256OfPlayersCreatedLater)
{
    EXPECT_EQ(F()->GetDefaultPlayerOption8(), 1);
    F()->SetDefaultPlayerOption8(0);
    Peer().ClearSent();
    ASSERT_NE(Join(1, "Later"), nullptr);
    EXPECT_EQ(Pool().Get(1)->m_usFlags, 0x1163);
    EXPECT_EQ(F()->GetPlayerOption8(1), 0);
    // Once for the changed bit, once more as the last step of the flags.
    EXPECT_EQ(ReceivedBy(1, ID_FLAGS).size(), 2u);
}

TEST_F(PlayerStateTest, Option8IsStoredInvertedAndOption7AsSet)
{
    EXPECT_EQ(F()->SetPlayerOption8(0, 1), 1);
    EXPECT_EQ(F()->GetPlayerOption8(0), 1);
    EXPECT_FALSE(m_pPlayer->m_usFlags & 0x0100);
    EXPECT_TRUE(ReceivedBy(0, ID_FLAGS).empty());
    F()->SetPlayerOption8(0, 0);
    EXPECT_EQ(F()->GetPlayerOption8(0), 0);
    EXPECT_TRUE(m_pPlayer->m_usFlags & 0x0100);
    EXPECT_EQ(ReceivedBy(0, ID_FLAGS).size(), 1u);

    F()->SetPlayerOption7(0, 1);
    EXPECT_EQ(F()->GetPlayerOption7(0), 1);
    EXPECT_TRUE(m_pPlayer->m_usFlags & 0x0080);
    F()->SetPlayerOption7(0, 0);
    EXPECT_EQ(F()->GetPlayerOption7(0), 0);
    EXPECT_FALSE(m_pPlayer->m_usFlags & 0x0080);
}

class PlayerStreamedStateTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        m_pSubject = Spawned(0, "Subject", Vector(100.0f, 100.0f, 10.0f));
        m_pObserver = Spawned(1, "Observer", Vector(110.0f, 100.0f, 10.0f));
        m_pOutsider = Spawned(2, "Outsider", Vector(-1500.0f, -1500.0f, 10.0f));
        ASSERT_TRUE(m_pSubject && m_pObserver && m_pOutsider);
        StreamAll();
        ASSERT_EQ(F()->IsPlayerStreamedForPlayer(0, 1), 1);
        ASSERT_EQ(F()->IsPlayerStreamedForPlayer(0, 2), 0);
        Peer().ClearSent();
        Host().ClearLog();
    }

    CPlayer* m_pSubject = nullptr;
    CPlayer* m_pObserver = nullptr;
    CPlayer* m_pOutsider = nullptr;
};

TEST_F(PlayerStreamedStateTest, VisibleFlagBitsAreAlsoToldToTheStreamingPlayers)
{
    // Bit 0x1000 is visible: the subject and its observer hear of it.
    F()->SetPlayerOption12(0, 0);
    EXPECT_EQ(ReceivedBy(0, ID_FLAGS).size(), 1u);
    auto broadcasts = ReceivedBy(1, ID_FLAG_BROADCAST);
    ASSERT_EQ(broadcasts.size(), 1u);
    testclient::SSlotValue visible;
    ASSERT_TRUE(testclient::DecodeFlagBroadcast(broadcasts[0], visible));
    EXPECT_EQ(visible.bySlot, 0);
    EXPECT_EQ(visible.uiValue, 0u);
    F()->SetPlayerOption12(0, 1);
    broadcasts = ReceivedBy(1, ID_FLAG_BROADCAST);
    ASSERT_EQ(broadcasts.size(), 2u);
    ASSERT_TRUE(testclient::DecodeFlagBroadcast(broadcasts[1], visible));
    EXPECT_EQ(visible.uiValue, 0x1000u);
    EXPECT_TRUE(ReceivedBy(2, ID_FLAG_BROADCAST).empty());
    EXPECT_TRUE(ReceivedBy(0, ID_FLAG_BROADCAST).empty());

    // Bit 1 is the player's own business; a bit set to what it is sends nothing.
    Peer().ClearSent();
    F()->SetPlayerOption0(0, 0);
    EXPECT_EQ(ReceivedBy(0, ID_FLAGS).size(), 1u);
    EXPECT_TRUE(ReceivedBy(1, ID_FLAG_BROADCAST).empty());
    F()->SetPlayerOption0(0, 0);
    F()->SetPlayerOption12(0, 1);
    EXPECT_EQ(ReceivedBy(0, ID_FLAGS).size(), 1u);
}

TEST_F(PlayerStreamedStateTest, ClassBytesAndExtraStateGoToObserversThenThePlayer)
{
    F()->SetPlayerClassByteA(0, 0x1AB);
    EXPECT_EQ(m_pSubject->m_byClassByteA, 0xAB);
    auto sent = Peer().SentWithId(ID_CLASS_BYTE_A);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].nSlot, 1);
    EXPECT_EQ(sent[1].nSlot, 0);
    EXPECT_EQ(sent[0].Payload(), (std::vector<uint8_t>{0, 0xAB}));

    F()->SetPlayerExtraState(0, 300, -5);
    EXPECT_EQ(m_pSubject->m_byExtraState, 255);
    auto extras = ReceivedBy(1, ID_EXTRA_STATE);
    ASSERT_EQ(extras.size(), 1u);
    testclient::SSlotValue extra;
    ASSERT_TRUE(testclient::DecodeExtraState(extras[0], extra));
    EXPECT_EQ(extra.uiValue, 255u);
    EXPECT_EQ(extra.usParameter, 0);
    F()->SetPlayerExtraState(0, -4, 70000);
    ASSERT_TRUE(testclient::DecodeExtraState(ReceivedBy(0, ID_EXTRA_STATE).back(), extra));
    EXPECT_EQ(extra.uiValue, 0u);
    EXPECT_EQ(extra.usParameter, 50000);
    EXPECT_TRUE(ReceivedBy(2, ID_EXTRA_STATE).empty());

    F()->SendPlayerPair(0, 7, 0x108);
    auto pairs = Peer().SentWithId(ID_PAIR_RELAY);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].nSlot, 1);
    EXPECT_EQ(pairs[1].nSlot, 0);
    EXPECT_EQ(pairs[0].Payload(), (std::vector<uint8_t>{0, 0, 1, 0, 7, 8}));
}

TEST_F(PlayerStreamedStateTest, ColourAndScoreGoToEverybody)
{
    F()->SetPlayerColour(0, 0x12345678);
    EXPECT_EQ(F()->GetPlayerColour(0), 0x345678);
    for (int nSlot : {0, 1, 2})
    {
        auto colours = ReceivedBy(nSlot, ID_COLOUR);
        ASSERT_EQ(colours.size(), 1u) << "slot " << nSlot;
        testclient::SSlotValue colour;
        ASSERT_TRUE(testclient::DecodeColour(colours[0], colour));
        EXPECT_EQ(colour.uiValue, 0x345678u);
    }
    // The plugin function stores the score only; the setter can announce it.
    F()->SetPlayerScore(0, 42);
    EXPECT_TRUE(Peer().SentWithId(ID_SCORE).empty());
    m_pSubject->SetScore(43, true);
    auto scores = ReceivedBy(2, ID_SCORE);
    ASSERT_EQ(scores.size(), 1u);
    testclient::SScore score;
    ASSERT_TRUE(testclient::DecodeScore(scores[0], score));
    EXPECT_EQ(score.uiPlayerId, 0x100u);
    EXPECT_EQ(score.nScore, 43);
}

TEST_F(PlayerStreamedStateTest, SpawnDescriptionCarriesWhatAnObserverNeeds)
{
    m_pSubject->SetClassByteA(3, false);
    m_pSubject->SetClassByteB(4, false);
    m_pSubject->SetExtraState(9, 0);
    m_pSubject->SetAngle(1.25f, false);
    m_pSubject->m_usVehicleId = 12;
    m_pSubject->m_byPassengerSeat = 1;
    m_pSubject->m_usFlags = 0x1463;
    Peer().ClearSent();
    SendPlayerStreamIn(m_pSubject, m_pOutsider);
    auto descriptions = ReceivedBy(2, ID_SPAWN_DESCRIPTION);
    ASSERT_EQ(descriptions.size(), 1u);
    testclient::SSpawnDescription description;
    ASSERT_TRUE(testclient::DecodeSpawnDescription(descriptions[0], description));
    EXPECT_EQ(Value(description.uiPlayerId), 0x100u);
    EXPECT_EQ(Value(description.byClassByteA), 3);
    EXPECT_EQ(Value(description.byClassByteB), 4);
    EXPECT_EQ(Value(description.byExtraState), 9);
    EXPECT_EQ(Value(description.vPosition.x), 100.0f);
    EXPECT_EQ(Value(description.vPosition.z), 10.0f);
    EXPECT_EQ(Value(description.fAngle), 1.25f);
    EXPECT_EQ(Value(description.usVehicleId), 12);
    EXPECT_EQ(Value(description.bySeat), 2);
    EXPECT_EQ(Value(description.usVisibleFlags), 0x1400);
    EXPECT_EQ(descriptions[0].payload.size(), 4u + 3u + 12u + 4u + 2u + 1u + 2u);
    m_pSubject->m_byPassengerSeat = 255;
    SendPlayerStreamIn(m_pSubject, m_pOutsider);
    ASSERT_TRUE(testclient::DecodeSpawnDescription(ReceivedBy(2, ID_SPAWN_DESCRIPTION).back(), description));
    EXPECT_EQ(Value(description.bySeat), 0);

    SendPlayerStreamOut(m_pSubject, m_pOutsider);
    auto outs = ReceivedBy(2, ID_STREAM_OUT_NOTICE);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(outs[0].payload, (std::vector<uint8_t>{0, 0, 1, 0}));
    EXPECT_EQ(Peer().SentTo(2, ID_STREAM_OUT_NOTICE)[0].nReliability, 3);
}

// A position from a plugin is clamped, told to the player, and puts it back
// on foot.
TEST_F(PlayerStreamedStateTest, SetPositionClampsAnnouncesAndResetsToOnFoot)
{
    F()->SetPlayerPosition(0, std::numeric_limits<float>::quiet_NaN(), 5000.0f, -500.0f);
    EXPECT_EQ(m_pSubject->m_vPosition.x, 0.0f);
    EXPECT_EQ(m_pSubject->m_vPosition.y, 1950.0f);
    EXPECT_EQ(m_pSubject->m_vPosition.z, -100.0f);
    auto positions = ReceivedBy(0, ID_POSITION);
    ASSERT_EQ(positions.size(), 1u);
    wire::SWireVector vSent;
    ASSERT_TRUE(testclient::DecodeVector(positions[0], vSent));
    EXPECT_EQ(Value(vSent.y), 1950.0f);
    EXPECT_EQ(Value(vSent.z), -100.0f);
    EXPECT_THAT(Events("OnPlayer"), ElementsAre("OnPlayerStateChange 0 1 1", "OnPlayerUpdate 0 0"));
    EXPECT_EQ(m_pSubject->m_bySyncType, 1);
}

TEST_F(PlayerStreamedStateTest, CameraHoldsThePlayerUntilRestored)
{
    F()->SetCameraPosition(0, 9000.0f, 0.0f, 0.0f, 9000.0f, 1.0f, 2.0f);
    EXPECT_EQ(F()->GetPlayerResyncFlag(0), 1);
    auto cameras = ReceivedBy(0, ID_CAMERA);
    ASSERT_EQ(cameras.size(), 1u);
    testclient::SCamera camera;
    ASSERT_TRUE(testclient::DecodeCamera(cameras[0], camera));
    EXPECT_EQ(Value(camera.vPosition.x), 1550.0f);
    EXPECT_EQ(Value(camera.vLookAt.x), 9000.0f);
    F()->RestoreCamera(0);
    EXPECT_EQ(F()->GetPlayerResyncFlag(0), 0);
    EXPECT_EQ(ReceivedBy(0, ID_RESTORE_CAMERA).size(), 1u);
}

// A player being removed ignores setters, but a lost weapon is still cleared.
TEST_F(PlayerStreamedStateTest, SettersDoNothingWhileThePlayerIsMarkedForDeletion)
{
    m_pSubject->GiveWeapon(17, 10, false);
    m_pSubject->Lock();
    EXPECT_FALSE(Pool().Delete(0, DISCONNECT_LEFT));
    ASSERT_TRUE(m_pSubject->IsMarkedForDeletion());
    Peer().ClearSent();
    m_pSubject->SetHealth(5, true);
    m_pSubject->SetMoney(5, true);
    m_pSubject->SetPosition(Vector(1.0f, 1.0f, 1.0f), true);
    m_pSubject->SetFlag(0x1000, false);
    m_pSubject->SetColour(1, true);
    m_pSubject->SetWorld(9);
    EXPECT_EQ(m_pSubject->m_byHealth, 100);
    EXPECT_EQ(m_pSubject->m_usWorld, 1);
    EXPECT_TRUE(Peer().Sent().empty());
    m_pSubject->RemoveWeapon(17, true);
    EXPECT_EQ(m_pSubject->m_abySlotWeapon[3], 0);
    EXPECT_EQ(ReceivedBy(0, ID_REMOVE_WEAPON).size(), 1u);
    EXPECT_FALSE(m_pSubject->Release());
    EXPECT_EQ(Pool().Get(0), nullptr);
    EXPECT_THAT(Events("OnPlayerDisconnect"), ElementsAre("OnPlayerDisconnect 0 1"));
}

TEST_F(PlayerStreamedStateTest, TextBlockCarriesLengthsAndSkipsAbsentTexts)
{
    EXPECT_EQ(F()->SendPlayerTextBlock(0, "one", 0x10203, "tw", nullptr, "f"), 1);
    auto blocks = Peer().SentTo(0, ID_TEXT_BLOCK);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].nPriority, 3);
    EXPECT_EQ(blocks[0].nReliability, 3);
    EXPECT_EQ(blocks[0].Payload(),
              (std::vector<uint8_t>{3, 'o', 'n', 'e', 0x02, 0x03, 2, 't', 'w', 0, 1, 'f'}));
    Peer().ClearSent();
    EXPECT_EQ(F()->SendPlayerTextBlock(-1, "x", 1, nullptr, nullptr, nullptr), 1);
    for (int nSlot : {0, 1, 2})
        EXPECT_EQ(Peer().SentTo(nSlot, ID_TEXT_BLOCK).size(), 1u);
    EXPECT_TRUE(Peer().SentWithId(ID_TEXT_BLOCK)[0].bBroadcast == false);
    EXPECT_EQ(F()->SendPlayerTextBlock(-1, nullptr, 1, "a", nullptr, nullptr), 0);
    EXPECT_EQ(Peer().SentWithId(ID_TEXT_BLOCK).size(), 3u);
}

TEST_F(PlayerStreamedStateTest, WorldChangesMoveSpectatorsAndVisibility)
{
    ASSERT_EQ(F()->SetPlayerSpectateTarget(1, 0), 1);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(1), 0);
    F()->SetPlayerWorld(0, 0);
    EXPECT_EQ(F()->GetPlayerWorld(0), 1);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(1), 0);
    F()->SetPlayerWorld(0, 3);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(1), -1);
    // A player of another world cannot be spectated.
    F()->SetPlayerSpectateTarget(1, 0);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(1), -1);
    F()->SetPlayerWorld(0, -7);
    EXPECT_EQ(F()->GetPlayerWorld(0), 1);
    // A spectator that moves away from its target lets go of it, and is told.
    ASSERT_EQ(F()->SetPlayerSpectateTarget(1, 0), 1);
    Peer().ClearSent();
    F()->SetPlayerWorld(1, 5);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(1), -1);
    auto notices = ReceivedBy(1, ID_SPECTATE_NOTICE);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].payload, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    F()->SetPlayerWorld(1, 1);
    // The private world 10000 + slot is its owner's alone.
    F()->SetPlayerSecondaryWorld(1, 44);
    EXPECT_EQ(F()->IsWorldVisibleToPlayer(0, 10000), 1);
    EXPECT_EQ(F()->IsWorldVisibleToPlayer(1, 10000), 0);
    EXPECT_EQ(F()->IsWorldVisibleToPlayer(1, 10001), 1);
    EXPECT_EQ(F()->IsWorldVisibleToPlayer(1, 44), 1);
    EXPECT_EQ(F()->IsWorldVisibleToPlayer(0, 44), 0);
}
// A plugin that moves the player from the state event that every move
// raises would recurse without end; the walks stop at a fixed depth, with one
// line a second about what was dropped.
TEST_F(PlayerStreamedStateTest, EventsRaisedFromEventsStopAtAFixedDepth)
{
    int nStateEvents = 0;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t*, const char*)
                   {
                       if (nSlot != ORVN_CALLBACKS_SLOT_INDEX(OnPlayerStateChange))
                           return;
                       ++nStateEvents;
                       F()->SetPlayerPosition(0, 1.0f, 2.0f, 3.0f);
                   });
    Harness().TakeOutput();
    EXPECT_EQ(F()->SetPlayerPosition(0, 5.0f, 5.0f, 5.0f), 1);
    EXPECT_EQ(nStateEvents, 32);
    F()->SetPlayerPosition(0, 5.0f, 5.0f, 5.0f);
    const std::string strLine = "Dropped event OnPlayerStateChange: events nested more than 32 deep.";
    std::string strOutput = Harness().TakeOutput();
    EXPECT_EQ(strOutput.find(strLine), strOutput.rfind(strLine)) << strOutput;
    EXPECT_NE(strOutput.find(strLine), std::string::npos) << strOutput;
    Harness().Tick(1000);
    F()->SetPlayerPosition(0, 5.0f, 5.0f, 5.0f);
    Host().SetHook(0, nullptr);
    EXPECT_NE(Harness().TakeOutput().find(strLine), std::string::npos);
}
} // namespace
