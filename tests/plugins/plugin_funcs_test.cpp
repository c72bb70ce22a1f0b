// The function table as plugins see it: every slot present, the plugin and
// clock functions, printing, and the server setting slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "CServer.h"
#include "Console.h"
#include "ITimeSource.h"
#include "plugins/support/plugin_TestHost.h"

namespace
{
class PluginFuncsTest : public ::testing::Test
{
protected:
    PluginFuncs* F() { return m_Host.Funcs(); }

    CPluginTestHost m_Host{ORVN_TEST_PLUGIN_DIR};
};

// Plugins find functions by position: a hole would crash the first caller.
// No placeholder fills a slot a family forgot, so this is what catches it.
// The callback entries a plugin filled are all still there after start-up
// (and the reserved one stays empty), so every event reaches it.
TEST_F(PluginFuncsTest, AfterStartUpEverySlotAndEveryFilledCallbackIsThere)
{
    m_Host.LoadRecorders(1);
    ASSERT_EQ(m_Host.Manager().InitialiseAll(), 1);
    PluginFuncs* pFuncs = m_Host.Recorder(0)->funcs;
    ASSERT_EQ(pFuncs, F());
    EXPECT_EQ(pFuncs->structSize, sizeof(PluginFuncs));
    void* apSlots[ORVN_PLUGIN_FUNCS_SLOTS];
    memcpy(apSlots, reinterpret_cast<const char*>(pFuncs) + ORVN_FUNCS_SLOT_OFFSET(0), sizeof(apSlots));
    for (int i = 0; i < ORVN_PLUGIN_FUNCS_SLOTS; ++i)
        EXPECT_NE(apSlots[i], nullptr) << "function slot " << i;

    const PluginCallbacks* pCallbacks = m_Host.Manager().GetCallbacks(0);
    ASSERT_EQ(pCallbacks, m_Host.Recorder(0)->callbacks);
    EXPECT_EQ(pCallbacks->structSize, sizeof(PluginCallbacks));
    void* apEntries[ORVN_PLUGIN_CALLBACKS_SLOTS];
    memcpy(apEntries, reinterpret_cast<const char*>(pCallbacks) + ORVN_CALLBACKS_SLOT_OFFSET(0),
           sizeof(apEntries));
    for (int i = 0; i < ORVN_PLUGIN_CALLBACKS_SLOTS; ++i)
        EXPECT_EQ(apEntries[i] != nullptr, i != ORVN_CALLBACKS_SLOT_INDEX(Reserved17)) << "callback " << i;
}

TEST_F(PluginFuncsTest, UnwrittenSlotsGiveTheUnknownIdAnswer)
{
    EXPECT_EQ(F()->SendClientMessage(0, 0xFFFFFF, "hi %d", 1), 0);
    EXPECT_EQ(F()->GetPlayerColour(0), -1);
    EXPECT_EQ(F()->GetPlayerMoney(0), 0);
    EXPECT_EQ(F()->GetPlayerHealth(0), 0.0f);
    EXPECT_EQ(F()->GetPlayerClientValue(0), 0.0);
    EXPECT_EQ(F()->KickPlayer(0), 1);
    EXPECT_EQ(F()->CreateVehicle(130, 1, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(F()->GetVehicleOptionFlag2(1), -1);
    EXPECT_EQ(F()->CreatePickup(1, 1, 1, 0, 0, 0, 255, 0), -1);
    EXPECT_EQ(F()->GetKeyBindUnusedSlot(), -1);
    F()->RemoveAllKeyBinds();
}

TEST_F(PluginFuncsTest, PluginInfoCopyNeverExceeds44Bytes)
{
    m_Host.LoadRecorders(1);
    m_Host.Recorder(0)->info->pluginData = 0xABCD;
    struct SBigRecord
    {
        PluginInfo info;
        unsigned char abyAfter[64];
    } big;
    memset(&big, 0x5A, sizeof(big));
    big.info.structSize = sizeof(big);
    EXPECT_EQ(F()->GetPluginInfo(0, &big.info), 1);
    EXPECT_EQ(big.info.structSize, 44u);
    EXPECT_EQ(big.info.pluginId, 0);
    EXPECT_EQ(big.info.pluginData, 0xABCDu);
    for (unsigned char by : big.abyAfter)
        ASSERT_EQ(by, 0x5A);

    // A shorter record gets only what it announces.
    PluginInfo small;
    memset(&small, 0x5A, sizeof(small));
    small.structSize = 8;
    EXPECT_EQ(F()->GetPluginInfo(0, &small), 1);
    EXPECT_EQ(small.pluginId, 0);
    EXPECT_EQ(static_cast<unsigned char>(small.name[0]), 0x5A);

    EXPECT_EQ(F()->GetPluginInfo(1, &small), 0);
    EXPECT_EQ(F()->GetPluginInfo(-1, &small), 0);
    EXPECT_EQ(F()->GetPluginInfo(0, nullptr), 0);
    EXPECT_EQ(F()->GetNumberOfPlugins(), 1);
}

TEST_F(PluginFuncsTest, VersionAndTime)
{
    EXPECT_EQ(F()->GetServerVersion(), 66100);
    CManualTime time;
    time.m_ullMicroseconds = 123456789ull;
    ITimeSource* pPrevious = GetTimeSource();
    SetTimeSource(&time);
    uint64_t ullNow = 0;
    EXPECT_EQ(F()->GetTime(&ullNow), 1);
    EXPECT_EQ(F()->GetTime(nullptr), 1);
    SetTimeSource(pPrevious);
    EXPECT_EQ(ullNow, 123456ull);
}

TEST_F(PluginFuncsTest, LogMessagePrintsTheTextAsItStands)
{
    ASSERT_TRUE(ConsoleOpenLog(m_Host.Dir().File("server_log.txt").c_str()));
    CCaptureStdout capture;
    EXPECT_EQ(F()->LogMessage("player %s joined", "100%s"), 1);
    EXPECT_EQ(LogMessage("%s", std::string(5000, 'w').c_str()), 1);
    const std::string strOut = capture.Finish();
    ConsoleCloseLog();
    const std::string strExpected = "player 100%s joined\n" + std::string(511, 'w') + "\n";
    EXPECT_EQ(strOut, strExpected);
    EXPECT_EQ(m_Host.Dir().Read("server_log.txt"), strExpected);
}

class PluginSettingFuncs : public PluginFuncsTest
{
protected:
    void SetUp() override
    {
        m_pPreviousServer = g_pServer;
        g_pServer = &m_Server;
    }
    void TearDown() override { g_pServer = m_pPreviousServer; }

    CServer m_Server;
    CServer* m_pPreviousServer = nullptr;
};

TEST_F(PluginSettingFuncs, WithoutAServerSettingSlotsDoNothing)
{
    g_pServer = nullptr;
    char szBuffer[8] = "keep";
    EXPECT_EQ(F()->SetServerName("x"), 0);
    EXPECT_EQ(F()->GetServerName(szBuffer, sizeof(szBuffer)), 0);
    EXPECT_STREQ(szBuffer, "keep");
    EXPECT_EQ(F()->GetMaxPlayers(), 0);
    EXPECT_EQ(F()->GetGravity(), 0.0f);
    EXPECT_EQ(F()->SetWorldOption3(1), 0);
    EXPECT_EQ(F()->GetWorldOption5(), 0);
    EXPECT_EQ(F()->AddPlayerClass(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
    ServerSettings settings;
    EXPECT_EQ(F()->GetServerSettings(&settings), 0);
}

TEST_F(PluginSettingFuncs, TextsAreCutAndCopiedWithTheBufferSize)
{
    EXPECT_EQ(F()->SetServerName(std::string(100, 'n').c_str()), 1);
    char szBuffer[128];
    EXPECT_EQ(F()->GetServerName(szBuffer, sizeof(szBuffer)), 1);
    EXPECT_EQ(std::string(szBuffer), std::string(63, 'n'));
    EXPECT_EQ(F()->GetServerName(szBuffer, 10), 1);
    EXPECT_EQ(std::string(szBuffer), std::string(9, 'n'));
    strcpy(szBuffer, "untouched");
    EXPECT_EQ(F()->GetServerName(szBuffer, 0), 1);
    EXPECT_STREQ(szBuffer, "untouched");
    EXPECT_EQ(F()->GetServerName(nullptr, 10), 1);

    EXPECT_EQ(F()->SetServerPassword("secret"), 1);
    EXPECT_EQ(F()->GetServerPassword(szBuffer, sizeof(szBuffer)), 1);
    EXPECT_STREQ(szBuffer, "secret");
    EXPECT_EQ(F()->SetGameModeText("Deathmatch"), 1);
    EXPECT_EQ(F()->GetGameModeText(szBuffer, sizeof(szBuffer)), 1);
    EXPECT_STREQ(szBuffer, "Deathmatch");
    EXPECT_EQ(F()->SetGameModeText(nullptr), 0);
    EXPECT_STREQ(m_Server.m_szGameModeText, "Deathmatch");

    ServerSettings settings;
    settings.structSize = 1234;
    settings.flags = 77;
    EXPECT_EQ(F()->GetServerSettings(&settings), 1);
    EXPECT_EQ(settings.structSize, 1234u);
    EXPECT_EQ(std::string(settings.serverName), std::string(63, 'n'));
    EXPECT_EQ(settings.maxPlayers, m_Server.m_nMaxPlayers);
    EXPECT_EQ(settings.port, 8192);
    EXPECT_EQ(settings.flags, 0u);
}

// A plugin built against a shorter record gets no more than it announced;
// the size field itself is never written.
TEST_F(PluginSettingFuncs, ServerSettingsFillOnlyTheAnnouncedSize)
{
    m_Server.SetServerName("Named");
    struct
    {
        ServerSettings settings;
        unsigned char abyAfter[16];
    } record;
    const size_t nNameEnd = offsetof(ServerSettings, serverName) + 4;
    const uint32_t auiSizes[] = {0, 3, static_cast<uint32_t>(nNameEnd), sizeof(ServerSettings),
                                 sizeof(record)};
    for (uint32_t uiSize : auiSizes)
    {
        memset(&record, 0x5A, sizeof(record));
        record.settings.structSize = uiSize;
        EXPECT_EQ(F()->GetServerSettings(&record.settings), uiSize < 4 ? 0 : 1) << uiSize;
        EXPECT_EQ(record.settings.structSize, uiSize);
        const unsigned char* pbyBytes = reinterpret_cast<const unsigned char*>(&record);
        const size_t nWritten = uiSize < 4 ? 0 : std::min<size_t>(uiSize, sizeof(ServerSettings));
        for (size_t i = std::max<size_t>(nWritten, 4); i < sizeof(record); ++i)
            ASSERT_EQ(pbyBytes[i], 0x5A) << uiSize << " byte " << i;
    }
    EXPECT_EQ(std::string(record.settings.serverName), "Named");
    EXPECT_EQ(record.settings.maxPlayers, 50);
}

TEST_F(PluginSettingFuncs, NumbersAreLimitedAndStoredAsTheirFields)
{
    EXPECT_EQ(F()->SetMaxPlayers(0), 1);
    EXPECT_EQ(F()->GetMaxPlayers(), 1);
    EXPECT_EQ(F()->SetMaxPlayers(1000), 1);
    EXPECT_EQ(F()->GetMaxPlayers(), m_Server.m_nMaxPlayersLimit);

    EXPECT_EQ(F()->SetHour(300), 1);
    EXPECT_EQ(F()->GetHour(), 44);
    EXPECT_EQ(F()->SetMinute(59), 1);
    EXPECT_EQ(F()->GetMinute(), 59);
    EXPECT_EQ(F()->SetWeather(-1), 1);
    EXPECT_EQ(F()->GetWeather(), 255);
    EXPECT_EQ(F()->SetTimeRate(1000), 1);
    EXPECT_EQ(F()->GetTimeRate(), 1000);
    EXPECT_EQ(F()->SetWorldOptionByte(0x1FF), 1);
    EXPECT_EQ(F()->GetWorldOptionByte(), 0xFF);

    EXPECT_EQ(F()->GetGravity(), 0.008f);
    EXPECT_EQ(F()->SetGravity(0.01f), 1);
    EXPECT_EQ(F()->GetGravity(), 0.01f);
    EXPECT_EQ(F()->SetGameSpeed(2.0f), 1);
    EXPECT_EQ(F()->GetGameSpeed(), 2.0f);
    EXPECT_EQ(F()->SetWaterLevel(-3.0f), 1);
    EXPECT_EQ(F()->GetWaterLevel(), -3.0f);
    EXPECT_EQ(F()->SetMaxHeight(500.0f), 1);
    EXPECT_EQ(F()->GetMaxHeight(), 500.0f);
    EXPECT_EQ(F()->SetVehicleRespawnHeight(90.0f), 1);
    EXPECT_EQ(F()->GetVehicleRespawnHeight(), 90.0f);

    float afBounds[4] = {};
    EXPECT_EQ(F()->SetWorldBounds(10.0f, -10.0f, 20.0f, -20.0f), 1);
    EXPECT_EQ(F()->GetWorldBounds(&afBounds[0], nullptr, &afBounds[2], &afBounds[3]), 1);
    EXPECT_EQ(afBounds[0], 10.0f);
    EXPECT_EQ(afBounds[1], 0.0f);
    EXPECT_EQ(afBounds[2], 20.0f);
    EXPECT_EQ(afBounds[3], -20.0f);

    int32_t nValue1 = 0, nColour = 0, nValue7 = 0;
    float fValue4 = 0.0f;
    EXPECT_EQ(F()->GetDeathSettings(&nValue1, nullptr, nullptr, &fValue4, &nColour, nullptr, &nValue7), 1);
    EXPECT_EQ(nValue1, 4096);
    EXPECT_EQ(fValue4, 3.0f);
    EXPECT_EQ(nColour, 0xC8C8C8);
    EXPECT_EQ(nValue7, 2000);
    EXPECT_EQ(F()->SetDeathSettings(1, 2, 3.5f, 4.5f, -1, 6, 7), 1);
    EXPECT_EQ(F()->GetDeathSettings(&nValue1, nullptr, nullptr, &fValue4, &nColour, nullptr, &nValue7), 1);
    EXPECT_EQ(nValue1, 1);
    EXPECT_EQ(fValue4, 4.5f);
    EXPECT_EQ(nColour, -1);
    EXPECT_EQ(nValue7, 7);
}

TEST_F(PluginSettingFuncs, WorldOptionsAreBitsOfOneWord)
{
    // The default word 0x2620 has options 5, 9, 10 and 13 on.
    int32_t (*const apfnGet[14])() = {
        F()->GetWorldOption0,  F()->GetWorldOption1,  F()->GetWorldOption2,  F()->GetWorldOption3,
        F()->GetWorldOption4,  F()->GetWorldOption5,  F()->GetWorldOption6,  F()->GetWorldOption7,
        F()->GetWorldOption8,  F()->GetWorldOption9,  F()->GetWorldOption10, F()->GetWorldOption11,
        F()->GetWorldOption12, F()->GetWorldOption13,
    };
    int nWord = 0;
    for (int i = 0; i < 14; ++i)
        nWord |= apfnGet[i]() << i;
    EXPECT_EQ(nWord, 0x2620);

    EXPECT_EQ(F()->SetWorldOption3(7), 1);
    EXPECT_EQ(F()->GetWorldOption3(), 1);
    EXPECT_EQ(F()->SetWorldOption13(0), 1);
    EXPECT_EQ(F()->GetWorldOption13(), 0);
    EXPECT_EQ(F()->SetWorldOption0(1), 1);
    EXPECT_EQ(m_Server.m_WorldOptions.uiOptions, 0x0620u | 0x8u | 0x1u);
}

TEST_F(PluginSettingFuncs, SwitchesAndTheInvertedPlayerOptionDefault)
{
    EXPECT_EQ(F()->SetJoinMessages(0), 1);
    EXPECT_EQ(F()->GetJoinMessages(), 0);
    EXPECT_EQ(F()->SetDeathMessages(5), 1);
    EXPECT_EQ(F()->GetDeathMessages(), 1);
    EXPECT_EQ(F()->SetUseClasses(0), 1);
    EXPECT_EQ(F()->GetUseClasses(), 0);

    EXPECT_EQ(F()->SetDefaultPlayerOption8(1), 1);
    EXPECT_EQ(F()->GetDefaultPlayerOption8(), 1);
    // New players start with option bit 256 clear after this.
    EXPECT_EQ(m_Server.m_byDefaultPlayerOption8, 0);
    EXPECT_EQ(F()->SetDefaultPlayerOption8(0), 1);
    EXPECT_EQ(F()->GetDefaultPlayerOption8(), 0);
    EXPECT_EQ(m_Server.m_byDefaultPlayerOption8, 1);
}

TEST_F(PluginSettingFuncs, ClassesKeepTheLowBitsAndStopAtFifty)
{
    EXPECT_EQ(
        F()->AddPlayerClass(0x1FF, 0x11223344, 0x102, 1.0f, 2.0f, 3.0f, 0.5f, 0x119, 0x12345, 31, 500, 0, 0),
        0);
    ASSERT_NE(m_Server.GetClass(0), nullptr);
    // A packed record: read copies, not references into it.
    const SClassRecord record = *m_Server.GetClass(0);
    EXPECT_EQ(record.byClassByteA, 0xFF);
    EXPECT_EQ(record.byClassByteB, 0x02);
    EXPECT_EQ(uint32_t{record.uiColour}, 0x11223344u);
    EXPECT_EQ(float{record.fZ}, 3.0f);
    EXPECT_EQ(record.abyWeapon[0], 0x19);
    EXPECT_EQ(uint16_t{record.ausAmmo[0]}, 0x2345);
    EXPECT_EQ(record.abyWeapon[1], 31);
    EXPECT_EQ(uint16_t{record.ausAmmo[1]}, 500);
    for (int i = 1; i < MAX_CLASSES; ++i)
        EXPECT_EQ(F()->AddPlayerClass(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), i);
    EXPECT_EQ(F()->AddPlayerClass(9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(m_Server.m_nClassCount, MAX_CLASSES);
    EXPECT_EQ(m_Server.GetClass(0)->byClassByteA, 0xFF);
}

TEST_F(PluginSettingFuncs, SpawnScreenPointsAreClampedToTheWorld)
{
    EXPECT_EQ(F()->SetSpawnPlayerPosition(5000.0f, -5000.0f, NAN), 1);
    EXPECT_EQ(m_Server.m_vSpawnPlayerPosition.x, 1550.0f);
    EXPECT_EQ(m_Server.m_vSpawnPlayerPosition.y, -1950.0f);
    EXPECT_EQ(m_Server.m_vSpawnPlayerPosition.z, 0.0f);
    EXPECT_EQ(F()->SetSpawnCameraPosition(1.0f, 2.0f, -500.0f), 1);
    EXPECT_EQ(m_Server.m_vSpawnCameraPosition.z, -100.0f);
    EXPECT_EQ(F()->SetSpawnCameraLookAt(INFINITY, 3.0f, 4.0f), 1);
    EXPECT_EQ(m_Server.m_vSpawnCameraLookAt.x, 0.0f);
    EXPECT_EQ(m_Server.m_vSpawnCameraLookAt.y, 3.0f);
}
} // namespace
