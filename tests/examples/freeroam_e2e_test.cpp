// The free-roam game mode end to end, once as the C plugin examples/freeroam.so and once as the Lua
// script examples/freeroam.lua under luahost: the real server binary loads the mode and two protocol
// test clients play through joining, class selection, spawning among the parked vehicles and pickups,
// the commands, taking pickups and a death.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "CTestClient.h"
#include "VehicleMessages.h"
#include "WorldMessages.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;
using testclient::SPickupAlpha;
using testclient::SPickupCreate;
using testclient::SPickupRefresh;
using testclient::SVehicleCreate;
using testclient::SVehicleNotice;

namespace
{
constexpr const char* kHost = "127.0.0.1";

// One way of running the mode, and the behaviour it has.
struct SMode
{
    const char* szName;
    bool bLua;
};

void PrintTo(const SMode& mode, std::ostream* pStream)
{
    *pStream << mode.szName;
}

class FreeroamE2eTest : public ::testing::TestWithParam<SMode>
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_Folder.File("plugins"));
        std::filesystem::create_directories(m_Folder.File("scripts"));
        std::string strLoad = "plugins freeroam\n";
        if (GetParam().bLua)
        {
            std::filesystem::create_symlink(std::string(ORVN_BINARY_DIR) + "/plugins/luahost.so",
                                            m_Folder.File("plugins/luahost.so"));
            std::filesystem::create_symlink(std::string(ORVN_SOURCE_DIR) + "/examples/freeroam.lua",
                                            m_Folder.File("scripts/freeroam.lua"));
            strLoad = "plugins luahost\nluascripts freeroam\n";
        }
        else
            std::filesystem::create_symlink(std::string(ORVN_BINARY_DIR) + "/examples/freeroam.so",
                                            m_Folder.File("plugins/freeroam.so"));
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n" + strLoad);
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("freeroam: ready with 3 classes, 6 vehicles and 6 pickups", 10000))
            << m_Server.Output();
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
        EXPECT_EQ(m_Server.Output().find("freeroam: the server refused"), std::string::npos)
            << m_Server.Output();
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

// The value of the next change of this kind; *puiSequence, when given, takes its sequence, which a
// client echoes in its syncs once it has applied the change.
uint8_t ByteValue(CTestClient& client, int nId, uint32_t* puiSequence = nullptr)
{
    auto received = client.WaitFor(nId);
    testclient::SSequencedValue value;
    if (!received || !testclient::DecodeSequencedValue(*received, value))
        return 0xEE;
    if (puiSequence)
        *puiSequence = value.uiSequence;
    return value.byValue;
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

// The next message of this kind, decoded; an empty record when none came in time.
template <typename T, typename TDecode>
T Next(CTestClient& client, int nId, TDecode decode, uint32_t uiTimeoutMs = 2000)
{
    auto received = client.WaitFor(nId, uiTimeoutMs);
    T decoded{};
    return received && decode(*received, decoded) ? decoded : T{};
}

SVehicleCreate NextVehicle(CTestClient& client)
{
    return Next<SVehicleCreate>(client, wire::SV_VEHICLE_CREATE, testclient::DecodeVehicleCreate);
}

uint16_t VehicleGone(CTestClient& client)
{
    return Next<SVehicleNotice>(client, wire::SV_VEHICLE_DESTROY, testclient::DecodeVehicleNotice)
        .usVehicleId;
}

SPickupAlpha NextAlpha(CTestClient& client, uint32_t uiTimeoutMs = 2000)
{
    return Next<SPickupAlpha>(client, testclient::SV_PICKUP_ALPHA, testclient::DecodePickupAlpha,
                              uiTimeoutMs);
}

void ExpectVehicle(const SVehicleCreate& v, int nModel, float fX, float fY, float fZ, int nColour)
{
    const float afAt[3] = {v.vPosition.x, v.vPosition.y, v.vPosition.z}; // aligned copies of packed floats
    EXPECT_EQ(v.byModel, nModel);
    EXPECT_EQ(afAt[0], fX);
    EXPECT_EQ(afAt[1], fY);
    EXPECT_EQ(afAt[2], fZ);
    EXPECT_EQ(v.byColour1, nColour);
    EXPECT_EQ(v.byColour2, nColour);
    EXPECT_EQ(v.fHealth, 1000.0f);
}

// Claims the pickup with this key and expects the server to hide it under a new key; answers the key.
uint32_t ExpectTaken(CTestClient& client, uint32_t uiKey)
{
    EXPECT_TRUE(client.SendRaw(testclient::PickupClaimBytes(uiKey)));
    const auto refresh =
        Next<SPickupRefresh>(client, testclient::SV_PICKUP_REFRESH, testclient::DecodePickupRefresh);
    EXPECT_EQ(refresh.uiOldKey, uiKey);
    const SPickupAlpha hidden = NextAlpha(client);
    EXPECT_EQ(hidden.uiKey, refresh.uiNewKey);
    EXPECT_EQ(hidden.byAlpha, 0);
    return refresh.uiNewKey;
}

wire::SOnFootRecord At(float fX, float fY, float fZ, uint8_t byHealth)
{
    wire::SOnFootRecord onFoot = {};
    onFoot.vPosition = {fX, fY, fZ};
    onFoot.byHealth = byHealth;
    return onFoot;
}
} // namespace

TEST_P(FreeroamE2eTest, PlayersChooseClassesSpawnUseCommandsAndChooseAgainAfterDeath)
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

    // The harbour's two parked vehicles and two pickups stream in; the other spawn points lie far
    // beyond the radii.
    SVehicleCreate parked[2] = {NextVehicle(alice), NextVehicle(alice)};
    if (parked[0].byModel > parked[1].byModel)
        std::swap(parked[0], parked[1]);
    ExpectVehicle(parked[0], 145, -872.0f, -410.0f, 11.0f, 6);
    ExpectVehicle(parked[1], 191, -888.0f, -410.0f, 11.0f, 0);
    SPickupCreate health =
        Next<SPickupCreate>(alice, testclient::SV_PICKUP_CREATE, testclient::DecodePickupCreate);
    SPickupCreate armour =
        Next<SPickupCreate>(alice, testclient::SV_PICKUP_CREATE, testclient::DecodePickupCreate);
    if (health.usModel > armour.usModel)
        std::swap(health, armour);
    EXPECT_EQ(health.usModel, 366);
    EXPECT_EQ(health.vPosition.x, -880.0f);
    EXPECT_EQ(health.vPosition.y, -430.0f);
    EXPECT_EQ(armour.usModel, 368);
    EXPECT_EQ(armour.vPosition.x, -875.0f);
    for (const SPickupCreate& pickup : {health, armour})
    {
        EXPECT_EQ(pickup.nQuantity, 100);
        EXPECT_EQ(pickup.byAlpha, 255);
    }

    // Hurt, then healed; commands in the world are refused to a player who has not spawned.
    ASSERT_TRUE(alice.SendOnFootSync(0, At(-880.0f, -420.0f, 11.0f, 40)));
    ASSERT_TRUE(alice.SendCommand("/heal"));
    uint32_t uiApplied = 0;
    EXPECT_EQ(ByteValue(alice, wire::SV_HEALTH, &uiApplied), 100);
    EXPECT_TRUE(SawLine(alice, "You are back to full health."));
    ASSERT_TRUE(bob.SendCommand("/heal"));
    EXPECT_TRUE(SawLine(bob, "Spawn first: /heal works only in the world."));
    ASSERT_TRUE(alice.SendCommand("/car 300"));
    EXPECT_TRUE(SawLine(alice, "There is no vehicle model 300; models run from 130 to 236."));
    ASSERT_TRUE(alice.SendCommand("/CAR"));
    EXPECT_TRUE(SawLine(alice, "Usage: /car <model>"));
    // A command the mode does not know may be another plugin's: no answer.
    ASSERT_TRUE(alice.SendCommand("/fly"));
    EXPECT_TRUE(alice.NoneWithin(wire::SV_CHAT_LINE, 300));

    // Hurt again beside the pickups: each claim applies its effect and hides the pickup; the health
    // pickup's old key takes nothing more.
    ASSERT_TRUE(alice.SendOnFootSync(uiApplied, At(-878.0f, -430.0f, 11.0f, 40)));
    const uint32_t uiClaimedMs = alice.NowMs();
    const uint32_t uiHealthKey = ExpectTaken(alice, health.uiKey);
    EXPECT_EQ(ByteValue(alice, wire::SV_HEALTH, &uiApplied), 100);
    EXPECT_TRUE(SawLine(alice, "Health restored."));
    ASSERT_TRUE(alice.SendOnFootSync(uiApplied, At(-878.0f, -430.0f, 11.0f, 40)));
    ASSERT_TRUE(alice.SendRaw(testclient::PickupClaimBytes(health.uiKey)));
    const uint32_t uiArmourKey = ExpectTaken(alice, armour.uiKey);
    EXPECT_EQ(ByteValue(alice, wire::SV_ARMOUR), 100);
    EXPECT_TRUE(SawLine(alice, "Armour restored."));
    EXPECT_EQ(alice.CountOf(wire::SV_HEALTH), 0);

    // /car parks a vehicle beside the player; for three seconds after it another /car is answered
    // and changes nothing; a model the server refuses leaves the player the car they have and
    // starts no wait; the next replaces it.
    ASSERT_TRUE(alice.SendOnFootSync(uiApplied, At(-870.0f, -425.0f, 11.0f, 40)));
    ASSERT_TRUE(alice.SendCommand("/car 132"));
    EXPECT_TRUE(SawLine(alice, "Your vehicle (model 132) is next to you."));
    const uint32_t uiFirstCarMs = alice.NowMs();
    const SVehicleCreate first = NextVehicle(alice);
    ExpectVehicle(first, 132, -866.0f, -425.0f, 11.0f, 1);
    ASSERT_TRUE(alice.SendCommand("/car 141"));
    auto wait = alice.WaitFor(wire::SV_CHAT_LINE);
    testclient::STextMessage waitLine;
    ASSERT_TRUE(wait && testclient::DecodeChatLine(*wait, waitLine));
    EXPECT_EQ(waitLine.strText, "Wait a moment before asking for another vehicle.");
    EXPECT_EQ(waitLine.uiValue, 0xFF6464FFu);
    alice.Pump(std::max(0, 3100 - static_cast<int>(alice.NowMs() - uiFirstCarMs)));
    EXPECT_EQ(alice.CountOf(wire::SV_VEHICLE_CREATE) + alice.CountOf(wire::SV_VEHICLE_DESTROY), 0);
    ASSERT_TRUE(alice.SendCommand("/car 165"));
    EXPECT_TRUE(SawLine(alice, "The server refused a vehicle of model 165."));
    ASSERT_TRUE(alice.SendCommand("/car 141"));
    EXPECT_TRUE(SawLine(alice, "Your vehicle (model 141) is next to you."));
    ExpectVehicle(NextVehicle(alice), 141, -866.0f, -425.0f, 11.0f, 1);
    EXPECT_EQ(VehicleGone(alice), first.usVehicleId);

    // A private message reaches only its recipient; the sender sees a copy; nobody gets a bad id.
    const std::string strAlice = std::to_string(alice.Slot()), strBob = std::to_string(bob.Slot());
    ASSERT_TRUE(alice.SendCommand("/pm " + strBob + " meet at the harbour"));
    EXPECT_TRUE(SawLine(bob, "PM from Alice (" + strAlice + "): meet at the harbour"));
    EXPECT_TRUE(SawLine(alice, "PM to Bob (" + strBob + "): meet at the harbour"));
    ASSERT_TRUE(bob.SendCommand("/pm 77 hello?"));
    EXPECT_TRUE(SawLine(bob, "No player has id 77."));

    // Bob spawns downtown, walks to the harbour and gets a car, which Alice sees; it goes when he
    // leaves.
    ASSERT_TRUE(bob.SendRequestClass(testclient::kClassStay));
    ASSERT_TRUE(bob.WaitFor(wire::SV_CLASS_REPLY));
    ASSERT_TRUE(bob.SendRequestSpawn());
    ASSERT_TRUE(bob.WaitFor(wire::SV_PERMIT_SPAWN));
    ASSERT_TRUE(bob.SendSpawned());
    ASSERT_TRUE(bob.SendOnFootSync(0, At(-880.0f, -400.0f, 11.0f, 100)));
    ASSERT_TRUE(bob.SendCommand("/car 150"));
    EXPECT_TRUE(SawLine(bob, "Your vehicle (model 150) is next to you."));
    const SVehicleCreate bobs = NextVehicle(alice);
    ExpectVehicle(bobs, 150, -876.0f, -400.0f, 11.0f, 1);
    ASSERT_TRUE(bob.SendQuit(testclient::kQuitLeft));
    EXPECT_TRUE(SawLine(alice, "* Bob left free roam."));
    EXPECT_EQ(VehicleGone(alice), bobs.usVehicleId);

    // Ten seconds after the claims both pickups show again under their new keys, while nothing
    // reaches the console from the idle players: the mode prints nothing periodically.
    alice.Pump(500);
    const std::string strBefore = m_Server.Output();
    const uint32_t uiIdleMs = alice.NowMs();
    const SPickupAlpha shown = NextAlpha(alice, 15000);
    EXPECT_GE(alice.NowMs() - uiClaimedMs, 9500u);
    const SPickupAlpha shownToo = NextAlpha(alice);
    EXPECT_EQ(std::minmax(shown.uiKey, shownToo.uiKey), std::minmax(uiHealthKey, uiArmourKey));
    EXPECT_EQ(shown.byAlpha, 255);
    EXPECT_EQ(shownToo.byAlpha, 255);
    alice.Pump(std::max(0, 6000 - static_cast<int>(alice.NowMs() - uiIdleMs)));
    EXPECT_EQ(m_Server.Output(), strBefore);

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
}

INSTANTIATE_TEST_SUITE_P(Modes, FreeroamE2eTest,
                         ::testing::Values(SMode{"C", false}, SMode{"Lua", true}),
                         [](const ::testing::TestParamInfo<SMode>& info)
                         { return std::string(info.param.szName); });
