// The free-roam game mode end to end: the real server binary loads examples/freeroam.so and two
// protocol test clients play through joining, class selection, spawning, the commands and a death.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class FreeroamE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_Folder.File("plugins"));
        std::filesystem::create_symlink(std::string(ORVN_BINARY_DIR) + "/examples/freeroam.so",
                                        m_Folder.File("plugins/freeroam.so"));
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nplugins freeroam\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("freeroam: ready with 3 classes", 10000)) << m_Server.Output();
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    bool Enter(CTestClient& client, const char* szName)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort)) && client.Join(szName);
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
};

// Takes chat lines until one reads strText; false when none does in time.
bool SawLine(CTestClient& client, const std::string& strText)
{
    while (auto received = client.WaitFor(wire::SV_CHAT_LINE, 3000))
    {
        testclient::STextMessage line;
        if (testclient::DecodeChatLine(*received, line) && line.strText == strText)
            return true;
    }
    return false;
}

uint8_t ByteValue(CTestClient& client, int nId)
{
    auto received = client.WaitFor(nId);
    testclient::SSequencedValue value;
    return received && testclient::DecodeSequencedValue(*received, value) ? value.byValue : 0xEE;
}

void ExpectPosition(CTestClient& client, float fX, float fY, float fZ)
{
    auto received = client.WaitFor(wire::SV_POSITION);
    ASSERT_TRUE(received.has_value());
    wire::SWireVector v;
    ASSERT_TRUE(testclient::DecodeVector(*received, v));
    EXPECT_EQ(v.x, fX);
    EXPECT_EQ(v.y, fY);
    EXPECT_EQ(v.z, fZ);
}

void ExpectWeapon(CTestClient& client, int nWeapon, int nAmmo)
{
    auto received = client.WaitFor(wire::SV_GIVE_WEAPON);
    ASSERT_TRUE(received.has_value());
    testclient::SGiveWeapon give;
    ASSERT_TRUE(testclient::DecodeGiveWeapon(*received, give));
    EXPECT_EQ(give.byWeapon, nWeapon);
    EXPECT_EQ(give.usAmmo, nAmmo);
}
} // namespace

TEST_F(FreeroamE2eTest, PlayersChooseClassesSpawnUseCommandsAndChooseAgainAfterDeath)
{
    CTestClient alice, bob;
    ASSERT_TRUE(Enter(alice, "Alice"));
    EXPECT_TRUE(SawLine(alice, "* Alice joined free roam."));
    EXPECT_TRUE(SawLine(alice, "Welcome, Alice! Choose a class and spawn; /help lists the commands."));
    ASSERT_TRUE(Enter(bob, "Bob"));
    EXPECT_TRUE(SawLine(alice, "* Bob joined free roam."));

    // Stepping forward walks the whole list and wraps; each class shows its colour.
    const char* aszNames[] = {"Class 2 of 3: Harbour guard", "Class 3 of 3: Airfield pilot",
                              "Class 1 of 3: Downtown courier", "Class 2 of 3: Harbour guard"};
    const uint32_t auiColours[] = {0x3080E0, 0x40C060, 0xE0A030, 0x3080E0};
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_TRUE(alice.SendRequestClass(testclient::kClassNext));
        auto colour = alice.WaitFor(wire::SV_COLOUR);
        testclient::SSlotValue decoded;
        ASSERT_TRUE(colour && testclient::DecodeColour(*colour, decoded));
        EXPECT_EQ(decoded.uiValue, auiColours[i]);
        EXPECT_TRUE(SawLine(alice, aszNames[i]));
        ASSERT_TRUE(alice.WaitFor(wire::SV_CLASS_REPLY));
    }

    // The harbour guard spawns at the harbour with a shotgun and a Tec9.
    ASSERT_TRUE(alice.SendRequestSpawn());
    ASSERT_TRUE(alice.WaitFor(wire::SV_PERMIT_SPAWN));
    alice.Pump(100);
    alice.Clear();
    ASSERT_TRUE(alice.SendSpawned());
    ExpectPosition(alice, -880.0f, -420.0f, 11.0f);
    ExpectWeapon(alice, 19, 40);
    ExpectWeapon(alice, 22, 200);
    EXPECT_TRUE(SawLine(alice, "You are a Harbour guard. Try /car 132."));

    // Hurt, then healed; commands in the world are refused to a player who has not spawned.
    wire::SOnFootRecord hurt = {};
    hurt.vPosition = {-880.0f, -420.0f, 11.0f};
    hurt.byHealth = 40;
    ASSERT_TRUE(alice.SendOnFootSync(0, hurt));
    ASSERT_TRUE(alice.SendCommand("/heal"));
    EXPECT_EQ(ByteValue(alice, wire::SV_HEALTH), 100);
    EXPECT_TRUE(SawLine(alice, "You are back to full health."));
    ASSERT_TRUE(bob.SendCommand("/heal"));
    EXPECT_TRUE(SawLine(bob, "Spawn first: /heal works only in the world."));
    ASSERT_TRUE(alice.SendCommand("/car 300"));
    EXPECT_TRUE(SawLine(alice, "There is no vehicle model 300; models run from 130 to 236."));
    ASSERT_TRUE(alice.SendCommand("/CAR"));
    EXPECT_TRUE(SawLine(alice, "Usage: /car <model>"));
    ASSERT_TRUE(alice.SendCommand("/fly"));
    EXPECT_TRUE(SawLine(alice, "Unknown command /fly; /help lists the commands."));

    // A private message reaches only its recipient; the sender sees a copy; nobody gets a bad id.
    const std::string strAlice = std::to_string(alice.Slot()), strBob = std::to_string(bob.Slot());
    ASSERT_TRUE(alice.SendCommand("/pm " + strBob + " meet at the harbour"));
    EXPECT_TRUE(SawLine(bob, "PM from Alice (" + strAlice + "): meet at the harbour"));
    EXPECT_TRUE(SawLine(alice, "PM to Bob (" + strBob + "): meet at the harbour"));
    ASSERT_TRUE(bob.SendCommand("/pm 77 hello?"));
    EXPECT_TRUE(SawLine(bob, "No player has id 77."));

    // /kill: health 0, the client reports the death, and the mode sends it back to class selection.
    ASSERT_TRUE(alice.SendCommand("/kill"));
    EXPECT_EQ(ByteValue(alice, wire::SV_HEALTH), 0);
    ASSERT_TRUE(alice.SendDeath(70, 255, 0));
    ASSERT_TRUE(alice.WaitFor(wire::SV_FORCE_CLASS_SELECTION));
    EXPECT_TRUE(SawLine(alice, "Choose a class to spawn again."));
    ASSERT_TRUE(alice.SendRequestClass(testclient::kClassStay));
    ASSERT_TRUE(alice.WaitFor(wire::SV_CAMERA));
    EXPECT_TRUE(SawLine(alice, "Class 2 of 3: Harbour guard"));
    ASSERT_TRUE(alice.SendRequestSpawn());
    EXPECT_TRUE(alice.WaitFor(wire::SV_PERMIT_SPAWN));

    ASSERT_TRUE(bob.SendQuit(testclient::kQuitLeft));
    EXPECT_TRUE(SawLine(alice, "* Bob left free roam."));

    // Nothing more reaches the console while the players idle: no periodic lines from the mode.
    alice.Pump(500);
    const std::string strBefore = m_Server.Output();
    alice.Pump(6000);
    EXPECT_EQ(m_Server.Output(), strBefore);
}
