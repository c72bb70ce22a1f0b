// Where settings come from: defaults, the command line, server.cfg, and the
// precedence between them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CServer.h"
#include "support/TempDir.h"

namespace
{
// Runs the command line then server.cfg on a fresh server, as start-up does.
struct SConfigured
{
    CServer server;
    std::string strOutput;
};

void Configure(SConfigured& result, const std::vector<const char*>& args, const std::string& strConfig)
{
    CTempDir dir;
    dir.Write("server.cfg", strConfig);
    std::vector<const char*> argv = {"orvn-server"};
    argv.insert(argv.end(), args.begin(), args.end());
    CCaptureStdout capture;
    result.server.ApplyCommandLine(static_cast<int>(argv.size()), argv.data());
    result.server.ReadConfig(dir.File("server.cfg").c_str());
    result.strOutput = capture.Finish();
}
} // namespace

TEST(Settings, DefaultsMatchTheProtocol)
{
    CServer server;
    EXPECT_EQ(server.m_nMaxPlayers, 50);
    EXPECT_EQ(server.m_nPort, 8192);
    EXPECT_STREQ(server.m_szServerName, "OR:VN Server");
    EXPECT_STREQ(server.m_szMapName, "Palmora");
    EXPECT_STREQ(server.m_szGameModeText, "Default");
    EXPECT_STREQ(server.m_szAdminPassword, "changeme");
    EXPECT_STREQ(server.m_szVersion, "04rel000");
    EXPECT_STREQ(server.m_szPassword, "");
    EXPECT_EQ(server.m_nMaxPlayersLimit, 100);
    EXPECT_TRUE(server.m_bUseClasses);
    EXPECT_FALSE(server.m_bEntityProcessing);
    EXPECT_EQ(+server.m_WorldOptions.uiOptions, 0x2620u);
    EXPECT_FLOAT_EQ(server.m_afWorldBounds[1], -2350.0f);
    EXPECT_EQ(server.m_vSpawnCameraPosition.x, 477.508f);
    EXPECT_EQ(server.m_TimeState.byHour, 12);
    EXPECT_EQ(server.m_TimeState.byWeather, 1);
}

TEST(CommandLine, MaxPlayersSetsTheLimitWhichConfigCannotRaise)
{
    SConfigured a;
    Configure(a, {"-maxplayers", "500"}, "");
    EXPECT_EQ(a.server.m_nMaxPlayersLimit, 100);
    SConfigured b;
    Configure(b, {"-maxplayers", "0"}, "");
    EXPECT_EQ(b.server.m_nMaxPlayersLimit, 100);
    SConfigured c;
    Configure(c, {"-maxplayers", "20"}, "maxplayers 64\n");
    EXPECT_EQ(c.server.m_nMaxPlayersLimit, 20);
    EXPECT_EQ(c.server.m_nMaxPlayers, 20);
    SConfigured d;
    Configure(d, {"-maxplayers", " +30abc"}, "");
    EXPECT_EQ(d.server.m_nMaxPlayersLimit, 30);
}

TEST(CommandLine, PortBindIpAndAnticheatLockTheirKeys)
{
    SConfigured a;
    Configure(a, {"-port", "9000"}, "port 7777\n");
    EXPECT_EQ(a.server.m_nPort, 9000);
    SConfigured b;
    Configure(b, {"-port", "0"}, "port 7777\n");
    EXPECT_EQ(b.server.m_nPort, 7777);
    SConfigured c;
    Configure(c, {"-bindip", "127.0.0.1"}, "bindhost 10.1.1.1\n");
    EXPECT_STREQ(c.server.m_szBindHost, "127.0.0.1");
    EXPECT_STREQ(c.server.m_szCommandLineBindHost, "127.0.0.1");
    EXPECT_TRUE(c.server.m_bBindHostFromCommandLine);
    SConfigured d;
    Configure(d, {"-noanticheat"}, "anticheat 1\n");
    EXPECT_TRUE(d.server.m_bAnticheatDisabled);
    EXPECT_EQ(d.strOutput, "");
}

TEST(CommandLine, AMissingValueEndsTheScanAndValuesAreExaminedAsOptions)
{
    SConfigured a;
    Configure(a, {"-allow-server-runas-root", "-bindip"}, "");
    EXPECT_TRUE(a.server.m_bRunAsRootAllowed);
    EXPECT_FALSE(a.server.m_bBindHostFromCommandLine);
    SConfigured b;
    Configure(b, {"-port", "-noanticheat", "unknown", "-port"}, "");
    EXPECT_EQ(b.server.m_nPort, 0);
    EXPECT_TRUE(b.server.m_bAnticheatDisabled);
    SConfigured c;
    Configure(c, {"-bindip", std::string(80, 'a').c_str()}, "");
    EXPECT_EQ(strlen(c.server.m_szBindHost), 63u);
}

TEST(Config, TextKeysAreCaseInsensitiveAndKeepInnerSpaces)
{
    SConfigured a;
    Configure(a, {}, "SerVerName  My  Fine Server \nmapname Town\ngamemode Race 2\n"
                     "adminpass s3cret\npassword pw\nplugins a  b\tc\nversion 04rel000123456\n");
    EXPECT_STREQ(a.server.m_szServerName, "My  Fine Server ");
    EXPECT_STREQ(a.server.m_szMapName, "Town");
    EXPECT_STREQ(a.server.m_szGameModeText, "Race 2");
    EXPECT_STREQ(a.server.m_szAdminPassword, "s3cret");
    EXPECT_STREQ(a.server.m_szPassword, "pw");
    EXPECT_STREQ(a.server.m_szPlugins, "a  b\tc");
    EXPECT_STREQ(a.server.m_szVersion, "04rel000123");
    EXPECT_EQ(a.strOutput, "");
}

TEST(Config, LongValuesAreCutAndTheLastLineOfAKeyWins)
{
    SConfigured a;
    Configure(a, {}, "servername first\nservername " + std::string(100, 'x') + "\n");
    EXPECT_EQ(std::string(a.server.m_szServerName), std::string(63, 'x'));
    SConfigured b;
    Configure(b, {}, "plugins " + std::string(300, 'p') + "\n");
    EXPECT_EQ(strlen(b.server.m_szPlugins), 255u);
}

TEST(Config, MalformedLinesWarnAndTheRestIsRead)
{
    SConfigured a;
    Configure(a, {}, "servername\nmaxplayers many\nport 7000\nrandom words here\n# a comment\n");
    EXPECT_STREQ(a.server.m_szServerName, "OR:VN Server");
    EXPECT_EQ(a.server.m_nPort, 7000);
    EXPECT_EQ(a.server.m_nMaxPlayers, 50);
    EXPECT_EQ(a.strOutput, "Warning: parameters for 'servername' in config were not as expected\n\n"
                           "Warning: parameters for 'maxplayers' in config were not as expected\n\n");
}

TEST(Config, PlayerCountIsKeptWithinOneAndTheLimit)
{
    SConfigured a;
    Configure(a, {}, "maxplayers 0\n");
    EXPECT_EQ(a.server.m_nMaxPlayers, 1);
    SConfigured b;
    Configure(b, {}, "maxplayers 1000\n");
    EXPECT_EQ(b.server.m_nMaxPlayers, 100);
}

TEST(Config, AnticheatValueAndBareKey)
{
    SConfigured a;
    Configure(a, {}, "anticheat 0\n");
    EXPECT_TRUE(a.server.m_bAnticheatDisabled);
    SConfigured b;
    Configure(b, {}, "anticheat 1\n");
    EXPECT_FALSE(b.server.m_bAnticheatDisabled);
    SConfigured c;
    Configure(c, {}, "anticheat\n");
    EXPECT_TRUE(c.server.m_bAnticheatDisabled);
    EXPECT_EQ(c.strOutput, "Warning: parameters for 'anticheat' in config were not as expected\n\n");
}

TEST(Config, LongLinesAreReadInPiecesAndCrLfEndsAreDropped)
{
    // 511 characters make the first piece; the rest of the line is read as a
    // line of its own and its first word is "port".
    std::string strLine = "mapname " + std::string(503, 'm') + "port 6000\r\n";
    SConfigured a;
    Configure(a, {}, strLine + "gamemode Race\r\n");
    EXPECT_EQ(strlen(a.server.m_szMapName), 63u);
    EXPECT_EQ(a.server.m_nPort, 6000);
    EXPECT_STREQ(a.server.m_szGameModeText, "Race");
}

TEST(Config, MissingFileIsSilent)
{
    CServer server;
    CCaptureStdout capture;
    server.ReadConfig("/nonexistent/folder/server.cfg");
    EXPECT_EQ(capture.Finish(), "");
    EXPECT_EQ(server.m_nPort, 8192);
}

TEST(ClampToWorld, NonFiniteBecomesZeroThenFixedLimits)
{
    Vector v(std::numeric_limits<float>::quiet_NaN(), 5000.0f, -500.0f);
    CServer::ClampToWorld(v);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 1950.0f);
    EXPECT_EQ(v.z, -100.0f);
    Vector w(-1e9f, -std::numeric_limits<float>::infinity(), 30000.0f);
    CServer::ClampToWorld(w);
    EXPECT_EQ(w.x, -2350.0f);
    EXPECT_EQ(w.y, 0.0f);
    EXPECT_EQ(w.z, 20000.0f);
    Vector inside(100.5f, -20.25f, 13.0f);
    CServer::ClampToWorld(inside);
    EXPECT_EQ(inside.x, 100.5f);
    EXPECT_EQ(inside.y, -20.25f);
}

TEST(Classes, FiftyFitAndTheFiftyFirstIsRefused)
{
    CServer server;
    SClassRecord record = {};
    for (int i = 0; i < 50; ++i)
    {
        record.uiColour = static_cast<uint32_t>(i);
        EXPECT_EQ(server.AddClass(record), i);
    }
    record.uiColour = 999;
    EXPECT_EQ(server.AddClass(record), -1);
    EXPECT_EQ(server.m_nClassCount, 50);
    EXPECT_EQ(+server.GetClass(49)->uiColour, 49u);
    EXPECT_EQ(server.GetClass(50), nullptr);
    EXPECT_EQ(server.GetClass(-1), nullptr);
}

TEST(WorldState, BlocksAreLaidOutByteForByte)
{
    CServer server;
    const uint8_t* pTime = reinterpret_cast<const uint8_t*>(&server.m_TimeState);
    server.m_TimeState.usTimeRate = 0x1234;
    EXPECT_EQ(pTime[0], 1);
    EXPECT_EQ(pTime[1], 12);
    EXPECT_EQ(pTime[2], 0);
    EXPECT_EQ(pTime[3], 0x34);
    EXPECT_EQ(pTime[4], 0x12);
    const uint8_t* pOptions = reinterpret_cast<const uint8_t*>(&server.m_WorldOptions);
    float fGravity;
    memcpy(&fGravity, pOptions + 4, 4);
    EXPECT_EQ(pOptions[0], 0x20);
    EXPECT_EQ(pOptions[1], 0x26);
    EXPECT_EQ(fGravity, 0.008f);
    EXPECT_EQ(pOptions[20], 0);
    const uint8_t* pDeath = reinterpret_cast<const uint8_t*>(&server.m_DeathSettings);
    uint32_t uiColour;
    memcpy(&uiColour, pDeath + 16, 4);
    EXPECT_EQ(uiColour, 0xC8C8C8u);
    int32_t nValue7;
    memcpy(&nValue7, pDeath + 24, 4);
    EXPECT_EQ(nValue7, 2000);
}

TEST(WorldState, OptionSetterChangesOnlyRealChanges)
{
    CServer server;
    server.SetWorldOption(3, true);
    EXPECT_TRUE(server.GetWorldOption(3));
    server.SetWorldOption(5, false);
    EXPECT_EQ(+server.m_WorldOptions.uiOptions, 0x2600u | 0x8u);
    server.SetTimeRate(0x12345);
    EXPECT_EQ(+server.m_TimeState.usTimeRate, 0x2345);
    EXPECT_EQ(server.m_uiTimeRate, 0x12345u);
}
