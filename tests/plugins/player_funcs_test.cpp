// The player functions of the plugin table: the answers for ids that name
// nobody, the texts in and out, kicking, and a plugin calling every slot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "players/PlayerTestFixture.h"
#include "players/PlayerMessages.h"
#include "players/sync_FakeWorld.h"

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
class PlayerFuncsTest : public CPlayerTest
{
};

// Empty slot 7 and out-of-range 100, 255 and -2: 0 for setters and most
// getters, -1 where 0 is a valid answer.
TEST_F(PlayerFuncsTest, EverySlotAnswersForAnIdThatNamesNobody)
{
    ASSERT_NE(Join(0, "Present"), nullptr);
    PluginFuncs* f = F();
    struct SCase
    {
        const char* szSlot;
        std::function<double(int)> fnCall;
        double dExpected;
    };
    float fx = 0, fy = 0, fz = 0;
    char szBuffer[8];
    const SCase aCases[] = {
        {"IsPlayerAdmin", [&](int id) { return f->IsPlayerAdmin(id); }, 0},
        {"SetPlayerAdmin", [&](int id) { return f->SetPlayerAdmin(id, 1); }, 0},
        {"GetPlayerIP", [&](int id) { return f->GetPlayerIP(id, szBuffer, sizeof(szBuffer)); }, 0},
        {"KickPlayer", [&](int id) { return f->KickPlayer(id); }, 1},
        {"BanPlayer", [&](int id) { return f->BanPlayer(id); }, 1},
        {"IsPlayerConnected", [&](int id) { return f->IsPlayerConnected(id); }, 0},
        {"IsPlayerSpawned", [&](int id) { return f->IsPlayerSpawned(id); }, 0},
        {"IsPlayerStreamedForPlayer", [&](int id) { return f->IsPlayerStreamedForPlayer(id, 0); }, 0},
        {"IsPlayerStreamedForPlayer observer", [&](int id) { return f->IsPlayerStreamedForPlayer(0, id); },
         0},
        {"GetPlayerKey", [&](int id) { return f->GetPlayerKey(id); }, 0},
        {"SetPlayerWorld", [&](int id) { return f->SetPlayerWorld(id, 2); }, 0},
        {"GetPlayerWorld", [&](int id) { return f->GetPlayerWorld(id); }, 0},
        {"SetPlayerSecondaryWorld", [&](int id) { return f->SetPlayerSecondaryWorld(id, 2); }, 0},
        {"GetPlayerSecondaryWorld", [&](int id) { return f->GetPlayerSecondaryWorld(id); }, 0},
        {"GetPlayerUniqueWorld", [&](int id) { return f->GetPlayerUniqueWorld(id); }, 0},
        {"IsWorldVisibleToPlayer", [&](int id) { return f->IsWorldVisibleToPlayer(id, 0); }, 0},
        {"GetPlayerState", [&](int id) { return f->GetPlayerState(id); }, 0},
        {"GetPlayerName", [&](int id) { return f->GetPlayerName(id, szBuffer, sizeof(szBuffer)); }, 0},
        {"SetPlayerName", [&](int id) { return f->SetPlayerName(id, "Valid"); }, 0},
        {"SetPlayerClassByteA", [&](int id) { return f->SetPlayerClassByteA(id, 1); }, 0},
        {"GetPlayerClassByteA", [&](int id) { return f->GetPlayerClassByteA(id); }, 0},
        {"SetPlayerClassByteB", [&](int id) { return f->SetPlayerClassByteB(id, 1); }, 0},
        {"GetPlayerClassByteB", [&](int id) { return f->GetPlayerClassByteB(id); }, 0},
        {"SetPlayerColour", [&](int id) { return f->SetPlayerColour(id, 1); }, 0},
        {"GetPlayerColour", [&](int id) { return f->GetPlayerColour(id); }, -1},
        {"ForcePlayerSpawn", [&](int id) { return f->ForcePlayerSpawn(id); }, 0},
        {"ForcePlayerSelect", [&](int id) { return f->ForcePlayerSelect(id); }, 0},
        {"GivePlayerMoney", [&](int id) { return f->GivePlayerMoney(id, 1); }, 0},
        {"SetPlayerMoney", [&](int id) { return f->SetPlayerMoney(id, 1); }, 0},
        {"GetPlayerMoney", [&](int id) { return f->GetPlayerMoney(id); }, 0},
        {"SetPlayerScore", [&](int id) { return f->SetPlayerScore(id, 1); }, 0},
        {"GetPlayerScore", [&](int id) { return f->GetPlayerScore(id); }, 0},
        {"GetPlayerPing", [&](int id) { return f->GetPlayerPing(id); }, -1},
        {"GetPlayerClientToggle", [&](int id) { return f->GetPlayerClientToggle(id); }, 0},
        {"GetPlayerClientValue", [&](int id) { return f->GetPlayerClientValue(id); }, 0},
        {"GetPlayerUniqueId", [&](int id) { return f->GetPlayerUniqueId(id, szBuffer, sizeof(szBuffer)); },
         0},
        {"SetPlayerHealth", [&](int id) { return f->SetPlayerHealth(id, 1); }, 0},
        {"GetPlayerHealth", [&](int id) { return f->GetPlayerHealth(id); }, 0},
        {"SetPlayerArmour", [&](int id) { return f->SetPlayerArmour(id, 1); }, 0},
        {"GetPlayerArmour", [&](int id) { return f->GetPlayerArmour(id); }, 0},
        {"SetPlayerFlagsByte", [&](int id) { return f->SetPlayerFlagsByte(id, 1); }, 0},
        {"GetPlayerFlagsByte", [&](int id) { return f->GetPlayerFlagsByte(id); }, 0},
        {"SetPlayerPosition", [&](int id) { return f->SetPlayerPosition(id, 1, 1, 1); }, 0},
        {"GetPlayerPosition", [&](int id) { return f->GetPlayerPosition(id, &fx, &fy, &fz); }, 0},
        {"SetPlayerSpeed", [&](int id) { return f->SetPlayerSpeed(id, 1, 1, 1); }, 0},
        {"GetPlayerSpeed", [&](int id) { return f->GetPlayerSpeed(id, &fx, &fy, &fz); }, 0},
        {"AddPlayerSpeed", [&](int id) { return f->AddPlayerSpeed(id, 1, 1, 1); }, 0},
        {"SetPlayerHeading", [&](int id) { return f->SetPlayerHeading(id, 1); }, 0},
        {"GetPlayerHeading", [&](int id) { return f->GetPlayerHeading(id); }, 0},
        {"SetPlayerExtraState", [&](int id) { return f->SetPlayerExtraState(id, 1, 1); }, 0},
        {"GetPlayerExtraState", [&](int id) { return f->GetPlayerExtraState(id); }, 0},
        {"PutPlayerInVehicle", [&](int id) { return f->PutPlayerInVehicle(id, 1, 0, 0, 0); }, 0},
        {"RemovePlayerFromVehicle", [&](int id) { return f->RemovePlayerFromVehicle(id); }, 0},
        {"GetPlayerInVehicleStatus", [&](int id) { return f->GetPlayerInVehicleStatus(id); }, 0},
        {"GetPlayerInVehicleSlot", [&](int id) { return f->GetPlayerInVehicleSlot(id); }, -1},
        {"GetPlayerVehicleId", [&](int id) { return f->GetPlayerVehicleId(id); }, 0},
        {"SetPlayerOption0", [&](int id) { return f->SetPlayerOption0(id, 1); }, 0},
        {"GetPlayerOption0", [&](int id) { return f->GetPlayerOption0(id); }, 0},
        {"SetPlayerOption8", [&](int id) { return f->SetPlayerOption8(id, 1); }, 0},
        {"GetPlayerOption8", [&](int id) { return f->GetPlayerOption8(id); }, 0},
        {"SetPlayerOption7", [&](int id) { return f->SetPlayerOption7(id, 1); }, 0},
        {"GetPlayerOption7", [&](int id) { return f->GetPlayerOption7(id); }, 0},
        {"GivePlayerWeapon", [&](int id) { return f->GivePlayerWeapon(id, 17, 1); }, 0},
        {"SetPlayerWeapon", [&](int id) { return f->SetPlayerWeapon(id, 17, 1); }, 0},
        {"GetPlayerWeapon", [&](int id) { return f->GetPlayerWeapon(id); }, 0},
        {"GetPlayerWeaponAmmo", [&](int id) { return f->GetPlayerWeaponAmmo(id); }, 0},
        {"SetPlayerWeaponSlot", [&](int id) { return f->SetPlayerWeaponSlot(id, 1); }, 0},
        {"GetPlayerWeaponSlot", [&](int id) { return f->GetPlayerWeaponSlot(id); }, 0},
        {"GetPlayerWeaponAtSlot", [&](int id) { return f->GetPlayerWeaponAtSlot(id, 1); }, 0},
        {"GetPlayerAmmoAtSlot", [&](int id) { return f->GetPlayerAmmoAtSlot(id, 1); }, 0},
        {"RemovePlayerWeapon", [&](int id) { return f->RemovePlayerWeapon(id, 17); }, 0},
        {"RemoveAllWeapons", [&](int id) { return f->RemoveAllWeapons(id); }, 0},
        {"SetCameraPosition", [&](int id) { return f->SetCameraPosition(id, 1, 2, 3, 4, 5, 6); }, 0},
        {"RestoreCamera", [&](int id) { return f->RestoreCamera(id); }, 0},
        {"GetPlayerResyncFlag", [&](int id) { return f->GetPlayerResyncFlag(id); }, 0},
        {"SendPlayerPair", [&](int id) { return f->SendPlayerPair(id, 1, 2); }, 0},
        {"SetPlayerSettableByte", [&](int id) { return f->SetPlayerSettableByte(id, 1); }, 0},
        {"GetPlayerStandingOnVehicle", [&](int id) { return f->GetPlayerStandingOnVehicle(id); }, -1},
        {"GetPlayerStandingOnObject", [&](int id) { return f->GetPlayerStandingOnObject(id); }, -1},
        {"IsPlayerAway", [&](int id) { return f->IsPlayerAway(id); }, 0},
        {"GetPlayerSpectateTarget", [&](int id) { return f->GetPlayerSpectateTarget(id); }, -1},
        {"SetPlayerSpectateTarget", [&](int id) { return f->SetPlayerSpectateTarget(id, 0); }, 0},
        {"SendPlayerTextBlock", [&](int id) { return f->SendPlayerTextBlock(id, "t", 1, 0, 0, 0); }, 0},
        {"GetPlayerSyncFlag0", [&](int id) { return f->GetPlayerSyncFlag0(id); }, 0},
        {"GetPlayerSyncFlag1", [&](int id) { return f->GetPlayerSyncFlag1(id); }, 0},
        {"GetPlayerSyncCode", [&](int id) { return f->GetPlayerSyncCode(id); }, -1},
        {"GetPlayerKeys", [&](int id) { return f->GetPlayerKeys(id); }, -1},
        {"GetPlayerAimDirection", [&](int id) { return f->GetPlayerAimDirection(id, &fx, &fy, &fz); }, 0},
        {"GetPlayerAimPosition", [&](int id) { return f->GetPlayerAimPosition(id, &fx, &fy, &fz); }, 0},
        {"SendClientMessage", [&](int id) { return f->SendClientMessage(id, 1, "%s", "x"); }, 0},
        {"SendGameMessage", [&](int id) { return f->SendGameMessage(id, 1, "%s", "x"); }, 0},
    };
    Peer().ClearSent();
    for (int nId : {7, 100, -2, 1000})
    {
        for (const SCase& test : aCases)
            EXPECT_EQ(test.fnCall(nId), test.dExpected) << test.szSlot << " with id " << nId;
    }
    EXPECT_EQ(f->GetPlayerIdFromName("Nobody"), -1);
    EXPECT_EQ(f->GetPlayerIdFromName(nullptr), -1);
    // Nothing reached the player that is there, nothing was printed.
    EXPECT_TRUE(Peer().Sent().empty());
    EXPECT_EQ(Harness().TakeOutput().find("Kicking"), std::string::npos);
    EXPECT_NE(Pool().Get(0), nullptr);
}

TEST_F(PlayerFuncsTest, GettersThroughBuffersAndPointersEmptyOrZeroThemForNobody)
{
    char szBuffer[16];
    strcpy(szBuffer, "junk");
    EXPECT_EQ(F()->GetPlayerName(9, szBuffer, sizeof(szBuffer)), 0);
    EXPECT_STREQ(szBuffer, "");
    strcpy(szBuffer, "junk");
    EXPECT_EQ(F()->GetPlayerIP(9, szBuffer, sizeof(szBuffer)), 0);
    EXPECT_STREQ(szBuffer, "");
    float fX = 5, fY = 5, fZ = 5;
    EXPECT_EQ(F()->GetPlayerPosition(9, &fX, nullptr, &fZ), 0);
    EXPECT_EQ(fX, 0.0f);
    EXPECT_EQ(fZ, 0.0f);
    EXPECT_EQ(F()->GetPlayerName(9, nullptr, 10), 0);

    ASSERT_NE(Join(2, "LongEnoughName"), nullptr);
    EXPECT_EQ(F()->GetPlayerName(2, szBuffer, 5), 1);
    EXPECT_STREQ(szBuffer, "Long");
    EXPECT_EQ(F()->GetPlayerIP(2, szBuffer, sizeof(szBuffer)), 1);
    EXPECT_STREQ(szBuffer, "10.0.0.3");
    EXPECT_EQ(F()->GetPlayerUniqueId(2, szBuffer, sizeof(szBuffer)), 1);
    EXPECT_STREQ(szBuffer, "test-client-uni");
    // The aim getters write only when the first pointer is given.
    Pool().Get(2)->m_vAimVector1 = Vector(1.0f, 2.0f, 3.0f);
    fX = fY = fZ = 9;
    EXPECT_EQ(F()->GetPlayerAimPosition(2, nullptr, &fY, &fZ), 1);
    EXPECT_EQ(fY, 9.0f);
    EXPECT_EQ(F()->GetPlayerAimPosition(2, &fX, nullptr, &fZ), 1);
    EXPECT_EQ(fX, 1.0f);
    EXPECT_EQ(fZ, 3.0f);
}

TEST_F(PlayerFuncsTest, NamesAreFoundExactlyAndChangedOnlyToFreeValidNames)
{
    ASSERT_NE(Join(0, "Alpha"), nullptr);
    ASSERT_NE(Join(1, "Beta"), nullptr);
    EXPECT_EQ(F()->GetPlayerIdFromName("Beta"), 1);
    EXPECT_EQ(F()->GetPlayerIdFromName("beta"), -1);
    Host().ClearLog();
    Peer().ClearSent();
    EXPECT_EQ(F()->SetPlayerName(0, "BETA"), 0);
    EXPECT_EQ(F()->SetPlayerName(0, "a"), 0);
    EXPECT_EQ(F()->SetPlayerName(0, nullptr), 0);
    EXPECT_EQ(F()->SetPlayerName(0, "Alpha"), 0);
    EXPECT_TRUE(Peer().SentWithId(ID_NAME_CHANGE).empty());
    // Cut to 23 characters, rewritten, and announced to all.
    EXPECT_EQ(F()->SetPlayerName(0, "New name that is far too long"), 1);
    char szName[32];
    F()->GetPlayerName(0, szName, sizeof(szName));
    EXPECT_STREQ(szName, "New_name_that_is_far_to");
    auto changes = ReceivedBy(1, ID_NAME_CHANGE);
    ASSERT_EQ(changes.size(), 1u);
    testclient::SNameChange change;
    ASSERT_TRUE(testclient::DecodeNameChange(changes[0], change));
    EXPECT_EQ(change.uiPlayerId, 0x100u);
    EXPECT_EQ(change.strName, "New_name_that_is_far_to");
    EXPECT_THAT(Events("OnPlayerNameChange"),
                ElementsAre("OnPlayerNameChange 0 [Alpha] [New_name_that_is_far_to]"));
    // A player's own name in other letters is free to it.
    EXPECT_EQ(F()->SetPlayerName(1, "beta"), 1);
}

TEST_F(PlayerFuncsTest, KickPlayerPrintsItsLineAndRemovesThePlayer)
{
    ASSERT_NE(Join(4, "Rowdy"), nullptr);
    Harness().TakeOutput();
    Peer().ClearSent();
    EXPECT_EQ(F()->KickPlayer(4), 1);
    EXPECT_THAT(Harness().TakeOutput(), HasSubstr("Kicking player 'Rowdy' at ID 4 through scripts."));
    EXPECT_EQ(Pool().Get(4), nullptr);
    EXPECT_EQ(ReceivedBy(4, ID_KICKED_NOTICE).size(), 1u);
    EXPECT_EQ(Server().GetConnectionState(4), CONNECTION_NONE);
    EXPECT_THAT(Events("OnPlayerDisconnect"), ElementsAre("OnPlayerDisconnect 4 2"));
}

TEST_F(PlayerFuncsTest, BanPlayerBansTheAddressAndTellsTheClient)
{
    ASSERT_NE(Join(5, "Banned"), nullptr);
    Peer().ClearSent();
    EXPECT_EQ(F()->BanPlayer(5), 1);
    EXPECT_EQ(Pool().Get(5), nullptr);
    auto notices = ReceivedBy(5, ID_KICKED_NOTICE);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].payload, std::vector<uint8_t>{1});
    EXPECT_EQ(F()->IsIPBanned("10.0.0.6"), 1);
    EXPECT_EQ(F()->UnbanIP("10.0.0.6"), 1);
    EXPECT_EQ(F()->IsIPBanned("10.0.0.6"), 0);
    EXPECT_EQ(F()->BanIP("10.1.2.3"), 1);
    EXPECT_EQ(F()->IsIPBanned("10.1.2.3"), 1);
}

TEST_F(PlayerFuncsTest, ChatLinesAndGameMessagesReachOneOrEveryPlayer)
{
    ASSERT_NE(Join(0, "Zero"), nullptr);
    ASSERT_NE(Join(2, "Two"), nullptr);
    Peer().ClearSent();
    EXPECT_EQ(F()->SendClientMessage(2, 0x11223344, "hello %d", 5), 1);
    auto lines = ReceivedBy(2, ID_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    testclient::STextMessage line;
    ASSERT_TRUE(testclient::DecodeChatLine(lines[0], line));
    EXPECT_EQ(line.uiValue, 0x11223344u);
    EXPECT_EQ(line.strText, "hello 5");
    EXPECT_TRUE(ReceivedBy(0, ID_CHAT_LINE).empty());
    EXPECT_EQ(Peer().SentTo(2, ID_CHAT_LINE)[0].nReliability, 2);

    EXPECT_EQ(F()->SendClientMessage(255, 1, "all"), 1);
    EXPECT_EQ(F()->SendClientMessage(-1, 1, "all again"), 1);
    EXPECT_EQ(ReceivedBy(0, ID_CHAT_LINE).size(), 2u);
    EXPECT_EQ(ReceivedBy(2, ID_CHAT_LINE).size(), 3u);

    EXPECT_EQ(F()->SendGameMessage(0, 6, "style %s", "six"), 1);
    auto games = ReceivedBy(0, ID_GAME_MESSAGE);
    ASSERT_EQ(games.size(), 1u);
    testclient::STextMessage game;
    ASSERT_TRUE(testclient::DecodeGameMessage(games[0], game));
    EXPECT_EQ(game.uiValue, 6u);
    EXPECT_EQ(game.strText, "style six");
    EXPECT_EQ(F()->SendGameMessage(255, 6, "x"), 1);
    EXPECT_EQ(ReceivedBy(2, ID_GAME_MESSAGE).size(), 1u);
}

TEST_F(PlayerFuncsTest, ForceAllSelectReachesEveryOccupiedSlot)
{
    for (int nSlot : {0, 2, 5})
        ASSERT_NE(Spawned(nSlot, ("P" + std::to_string(nSlot)).c_str(), Vector(1.0f, 1.0f, 1.0f)), nullptr);
    Peer().ClearSent();
    EXPECT_EQ(F()->ForceAllSelect(), 1);
    for (int nSlot : {0, 2, 5})
    {
        EXPECT_EQ(ReceivedBy(nSlot, ID_FORCE_CLASS_SELECTION).size(), 1u) << "slot " << nSlot;
        EXPECT_EQ(F()->IsPlayerSpawned(nSlot), 0);
        EXPECT_EQ(F()->GetPlayerState(nSlot), 8);
    }
}

TEST_F(PlayerFuncsTest, RemovePlayerFromVehicleNeedsAVehicleAndPutsThePlayerOnFoot)
{
    CPlayer* pPlayer = Join(3, "Driver");
    ASSERT_NE(pPlayer, nullptr);
    EXPECT_EQ(F()->GetPlayerInVehicleSlot(3), -1);
    EXPECT_EQ(F()->RemovePlayerFromVehicle(3), 0);
    pPlayer->m_byEntryState = 3;
    pPlayer->m_usEntryVehicle = 9;
    pPlayer->m_usVehicleId = 9;
    EXPECT_EQ(F()->GetPlayerInVehicleSlot(3), 0);
    EXPECT_EQ(F()->GetPlayerVehicleId(3), 9);
    pPlayer->m_byPassengerSeat = 0;
    EXPECT_EQ(F()->GetPlayerInVehicleSlot(3), 1);
    Peer().ClearSent();
    EXPECT_EQ(F()->RemovePlayerFromVehicle(3), 1);
    EXPECT_EQ(F()->GetPlayerInVehicleStatus(3), 0);
    EXPECT_EQ(F()->GetPlayerVehicleId(3), 0);
    EXPECT_EQ(ReceivedBy(3, ID_POSITION).size(), 1u);
    EXPECT_EQ(F()->GetPlayerState(3), 1);
}

TEST_F(PlayerFuncsTest, StandingOnNamesOnlyAVehicleOrObjectThatExists)
{
    CPlayer* pPlayer = Join(1, "Climber");
    ASSERT_NE(pPlayer, nullptr);
    CFakeSyncWorld world;
    world.Install(Server());
    world.AddVehicle(5, Vector(10.0f, 10.0f, 0.0f));
    world.AddObject(0, Vector(20.0f, 20.0f, 0.0f), Quaternion());
    struct SCase
    {
        uint16_t usSurface;
        int nVehicle;
        int nObject;
    };
    for (const SCase& test : {SCase{0, -1, -1}, SCase{5, 5, -1}, SCase{6, -1, -1}, SCase{1000, -1, -1},
                              SCase{1001, -1, 0}, SCase{1002, -1, -1}, SCase{4001, -1, -1}})
    {
        pPlayer->m_usSurfaceId = test.usSurface;
        EXPECT_EQ(F()->GetPlayerStandingOnVehicle(1), test.nVehicle) << "surface " << test.usSurface;
        EXPECT_EQ(F()->GetPlayerStandingOnObject(1), test.nObject) << "surface " << test.usSurface;
    }
    world.Uninstall();
}

class PlayerAllSlotsTest : public CPlayerTest
{
protected:
    PlayerAllSlotsTest() : CPlayerTest(1) {}
};

TEST_F(PlayerAllSlotsTest, APluginCallingEverySlotFindsEachAnswerAsDocumented)
{
    const std::string strName = CPluginTestHost::UniqueName("players_allslots");
    // The server's folder is the working folder now; the plugin is copied there.
    std::filesystem::create_directories(Harness().Folder().File("plugins"));
    std::filesystem::copy_file(std::string(ORVN_TEST_PLUGIN_DIR) + "/players_allslots.so",
                               Harness().Folder().File("plugins/" + strName + ".so"));
    ASSERT_TRUE(Host().Manager().LoadPlugin(strName.c_str()));
    ASSERT_NE(Spawned(3, "Everything", Vector(0.0f, 0.0f, 0.0f)), nullptr);
    ASSERT_NE(Join(4, "Bystander"), nullptr);
    Harness().TakeOutput();
    F()->SendPluginCommand(4120, "%d", 3);
    const std::string strOutput = Harness().TakeOutput();
    EXPECT_THAT(strOutput, HasSubstr("allslots: done"));
    EXPECT_THAT(strOutput, Not(HasSubstr("allslots: FAIL"))) << strOutput;
    EXPECT_THAT(strOutput, ContainsRegex("allslots: done [0-9]+ 0"));
    EXPECT_EQ(Pool().Get(3), nullptr);
    EXPECT_NE(Pool().Get(4), nullptr);
}
} // namespace
