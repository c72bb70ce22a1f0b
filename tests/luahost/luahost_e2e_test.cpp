// The scripting host in the real server binary, with protocol test clients: a script refuses a spawn,
// answers a command, runs a timer and creates a vehicle that streams in; a handler failing on every
// sync leaves the relay alone and prints once; a runaway handler is stopped; an edited script is
// reloaded from the console while its player stays connected.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "CTestClient.h"
#include "VehicleMessages.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

wire::SOnFootRecord At(float fX, float fY, float fZ)
{
    wire::SOnFootRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.byHealth = 100;
    return record;
}

class LuaHostE2eTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    // Starts the server with luahost and the one script; strConfig adds lines to server.cfg.
    void Start(const std::string& strScript, const std::string& strConfig = "")
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_Folder.File("plugins"));
        std::filesystem::create_directories(m_Folder.File("scripts"));
        std::filesystem::create_symlink(std::string(ORVN_BINARY_DIR) + "/plugins/luahost.so",
                                        m_Folder.File("plugins/luahost.so"));
        m_Folder.Write("scripts/mode.lua", strScript);
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) +
                                         "\nbindhost 127.0.0.1\nplugins luahost\nluascripts mode\n" +
                                         strConfig);
        m_Server.UseInputPipe();
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("lua: loaded mode", 10000)) << m_Server.Output();
    }

    bool Enter(CTestClient& client, const char* szName)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort)) && client.Join(szName);
    }
    bool Spawn(CTestClient& client)
    {
        return client.SendRequestSpawn() && client.WaitFor(wire::SV_PERMIT_SPAWN, 3000) &&
               client.SendSpawned();
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
};

// Takes chat lines until one reads strText; false when none does in time.
bool SawLine(CTestClient& client, const std::string& strText, uint32_t uiTimeoutMs = 3000)
{
    while (auto received = client.WaitFor(wire::SV_CHAT_LINE, uiTimeoutMs))
    {
        testclient::STextMessage line;
        if (testclient::DecodeChatLine(*received, line) && line.strText == strText)
            return true;
    }
    return false;
}

size_t CountOf(const std::string& strText, const std::string& strPart)
{
    size_t nCount = 0;
    for (size_t nAt = strText.find(strPart); nAt != std::string::npos; nAt = strText.find(strPart, nAt + 1))
        ++nCount;
    return nCount;
}
} // namespace

TEST_F(LuaHostE2eTest, AScriptRefusesASpawnAnswersACommandRunsATimerAndCreatesAVehicle)
{
    Start(R"(local cjson = require("cjson")
local ready = {}
function OnPlayerRequestSpawn(playerId)
    if not ready[playerId] then
        SendClientMessage(playerId, 0xFFFFFFFF, "Not yet: type /ready")
        return false
    end
end
function OnPlayerCommand(playerId, text)
    if text ~= "/ready" then return end
    ready[playerId] = true
    local vehicleId = CreateVehicle(132, GetPlayerWorld(playerId), 104.0, 100.0, 10.0, 0.0, 3, 3)
    SendClientMessage(playerId, 0xFFFFFFFF, "Ready " .. cjson.encode({vehicle = vehicleId}))
    SetTimer(300, function() SendClientMessage(playerId, 0xFFFFFFFF, "Timer fired") end)
end
)");
    CTestClient alice;
    ASSERT_TRUE(Enter(alice, "Alice"));
    ASSERT_TRUE(alice.SendRequestSpawn());
    EXPECT_TRUE(SawLine(alice, "Not yet: type /ready"));
    EXPECT_TRUE(alice.NoneWithin(wire::SV_PERMIT_SPAWN, 300));

    ASSERT_TRUE(alice.SendCommand("/ready"));
    const uint32_t uiAskedMs = alice.NowMs();
    EXPECT_TRUE(SawLine(alice, "Ready {\"vehicle\":1}")) << m_Server.Output();
    ASSERT_TRUE(Spawn(alice));
    ASSERT_TRUE(alice.SendOnFootSync(0, At(100.0f, 100.0f, 10.0f)));
    auto created = alice.WaitFor(wire::SV_VEHICLE_CREATE, 3000);
    ASSERT_TRUE(created);
    testclient::SVehicleCreate vehicle;
    ASSERT_TRUE(testclient::DecodeVehicleCreate(*created, vehicle));
    EXPECT_EQ(vehicle.byModel, 132);
    EXPECT_EQ(vehicle.usVehicleId, 1);
    EXPECT_TRUE(SawLine(alice, "Timer fired"));
    EXPECT_GE(alice.NowMs() - uiAskedMs, 300u);
}

TEST_F(LuaHostE2eTest, AHandlerFailingOnEverySyncLeavesTheRelayAloneAndPrintsOnceThenACount)
{
    Start("function OnPlayerUpdate(playerId, kind)\n  error('no sync wanted')\nend\n");
    CTestClient alice, bob;
    ASSERT_TRUE(Enter(alice, "Alice") && Spawn(alice));
    ASSERT_TRUE(Enter(bob, "Bob") && Spawn(bob));
    // Bob stands beside Alice's path, so that she streams in for him.
    ASSERT_TRUE(bob.SendOnFootSync(0, At(20.0f, 0.0f, 10.0f)));
    for (uint32_t i = 1; i <= 50; ++i)
    {
        ASSERT_TRUE(alice.SendOnFootSync(0, At(10.0f + static_cast<float>(i), 0.0f, 10.0f)));
        alice.Pump(10);
    }
    int nRelays = 0;
    float fLastX = 0.0f;
    while (auto received = bob.WaitFor(wire::SV_ONFOOT_RELAY, 1000))
    {
        testclient::SOnFootRelay relay;
        if (testclient::DecodeOnFootRelay(*received, relay) && relay.bySlot == alice.Slot())
        {
            ++nRelays;
            fLastX = relay.onFoot.vPosition.x;
        }
    }
    EXPECT_GT(nRelays, 10);
    EXPECT_EQ(fLastX, 60.0f);
    ASSERT_TRUE(m_Server.WriteInput("lua unload mode\n"));
    ASSERT_TRUE(m_Server.WaitForOutput("lua: unloaded mode", 3000)) << m_Server.Output();
    const std::string strOutput = m_Server.Output();
    EXPECT_EQ(CountOf(strOutput, "lua: scripts/mode.lua:2: no sync wanted (in OnPlayerUpdate of mode)"), 1u)
        << strOutput;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        strOutput, match,
        std::regex("lua: scripts/mode.lua:2, OnPlayerUpdate: the same error ([0-9]+) more times")))
        << strOutput;
    EXPECT_GE(std::stoi(match[1].str()), 49);
}

TEST_F(LuaHostE2eTest, ARunawayHandlerIsStoppedAtLuatimeoutAndTheNextEventStillReachesTheScript)
{
    Start(
        "function OnPlayerCommand(playerId, text)\n  if text == '/spin' then\n    while true do end\n  end\n"
        "  SendClientMessage(playerId, 0xFFFFFFFF, 'heard ' .. text)\nend\n",
        "luatimeout 300\n");
    CTestClient alice;
    ASSERT_TRUE(Enter(alice, "Alice"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(alice.SendCommand("/spin"));
    ASSERT_TRUE(alice.SendCommand("/after"));
    EXPECT_TRUE(SawLine(alice, "heard /after", 5000));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
    EXPECT_TRUE(m_Server.WaitForOutput(
        "lua: scripts/mode.lua:3: stopped: ran longer than luatimeout (300 ms) (in OnPlayerCommand of mode)",
        1000))
        << m_Server.Output();
    EXPECT_TRUE(alice.IsConnected());
}

TEST_F(LuaHostE2eTest, ReloadingAnEditedScriptChangesItsAnswersWhileThePlayerStaysConnected)
{
    Start("function OnPlayerCommand(playerId, text) SendClientMessage(playerId, 0xFFFFFFFF, 'first ' .. "
          "text) end\n"
          "function OnScriptUnload() LogMessage('first version goes') end\n");
    CTestClient alice;
    ASSERT_TRUE(Enter(alice, "Alice"));
    ASSERT_TRUE(alice.SendCommand("/version"));
    EXPECT_TRUE(SawLine(alice, "first /version"));
    m_Folder.Write("scripts/mode.lua", "function OnPlayerCommand(playerId, text) "
                                       "SendClientMessage(playerId, 0xFFFFFFFF, 'second ' .. text) end\n");
    ASSERT_TRUE(m_Server.WriteInput("lua reload mode\n"));
    ASSERT_TRUE(m_Server.WaitForOutput("first version goes", 3000)) << m_Server.Output();
    for (int i = 0; i < 300 && CountOf(m_Server.Output(), "lua: loaded mode") < 2; ++i)
        alice.Pump(10);
    ASSERT_EQ(CountOf(m_Server.Output(), "lua: loaded mode"), 2u) << m_Server.Output();
    ASSERT_TRUE(alice.SendCommand("/version"));
    EXPECT_TRUE(SawLine(alice, "second /version"));
    EXPECT_TRUE(alice.IsConnected());
    EXPECT_EQ(alice.CountOf(testclient::kRakDisconnectionNotification), 0);
}
