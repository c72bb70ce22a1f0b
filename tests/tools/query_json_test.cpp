// orvn-query's machine-readable mode: the texts' encoding rule, and the real
// tool against a real server (JSON parsed back) and against a closed port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "CTestClient.h"
#include "QueryJson.h"
#include "support/JsonValue.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

namespace
{
struct SToolResult
{
    int nStatus = -1;
    std::string strOut;
};

SToolResult RunQuery(const std::string& strArgs)
{
    SToolResult result;
    const std::string strCommand =
        std::string(ORVN_BINARY_DIR) + "/bin/orvn-query " + strArgs + " 2>/dev/null";
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (!pPipe)
        return result;
    char achBuffer[4096];
    size_t nRead = 0;
    while ((nRead = fread(achBuffer, 1, sizeof(achBuffer), pPipe)) > 0)
        result.strOut.append(achBuffer, nRead);
    const int nWait = pclose(pPipe);
    result.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
    return result;
}
} // namespace

TEST(QueryJson, TextsBecomeValidUtf8WithInvalidBytesReplaced)
{
    const struct
    {
        std::string strBytes;
        std::string strJson;
    } aCases[] = {
        {"Plain 1", "\"Plain 1\""},
        {"say \"hi\"\\ \n\t\x01", "\"say \\\"hi\\\"\\\\ \\n\\t\\u0001\""},
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"Caf\xE9!", "\"Caf\xEF\xBF\xBD!\""},
        // Overlong, a surrogate, beyond U+10FFFF, a cut sequence, a stray continuation.
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"ab\xE2\x82", "\"ab\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\x80z", "\"\xEF\xBF\xBDz\""},
    };
    for (const auto& c : aCases)
    {
        const std::string strJson = testclient::JsonString(c.strBytes);
        EXPECT_EQ(strJson, c.strJson) << c.strBytes;
        EXPECT_TRUE(ParseJson(strJson)) << strJson;
    }
}

TEST(QueryJson, ToolAnswersARunningServerAndTimesOutOnAClosedPort)
{
    CTempDir dir;
    const int nPort = FindFreeUdpPort();
    dir.Write("server.cfg",
              "port " + std::to_string(nPort) +
                  "\nbindhost 127.0.0.1\nservername Caf\xE9 \"Q\"\nmaxplayers 12\npassword pw\n");
    CServerProcess server;
    ASSERT_TRUE(server.Start(dir.Path(), {"-allow-server-runas-root"}));
    ASSERT_TRUE(server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << server.Output();
    testclient::CTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", static_cast<uint16_t>(nPort), "pw"));
    ASSERT_TRUE(client.Join("Zed"));
    client.Pump(100);
    const std::string strTarget = "-h 127.0.0.1 -p " + std::to_string(nPort) + " -j ";

    SToolResult info = RunQuery(strTarget + "i");
    ASSERT_EQ(info.nStatus, 0) << info.strOut;
    auto infoJson = ParseJson(info.strOut);
    ASSERT_TRUE(infoJson) << info.strOut;
    EXPECT_EQ(infoJson->Find("serverName")->strValue, "Caf\xEF\xBF\xBD \"Q\"");
    EXPECT_EQ(infoJson->Find("gameMode")->strValue, "Default");
    EXPECT_EQ(infoJson->Find("mapName")->strValue, "Palmora");
    EXPECT_EQ(infoJson->Find("version")->strValue, "04rel000");
    EXPECT_TRUE(infoJson->Find("password")->bValue);
    EXPECT_EQ(infoJson->Find("players")->dValue, 1);
    EXPECT_EQ(infoJson->Find("maxPlayers")->dValue, 12);

    SToolResult players = RunQuery(strTarget + "c");
    ASSERT_EQ(players.nStatus, 0);
    auto playersJson = ParseJson(players.strOut);
    ASSERT_TRUE(playersJson) << players.strOut;
    EXPECT_EQ(playersJson->Find("players")->dValue, 1);
    ASSERT_EQ(playersJson->Find("names")->items.size(), 1u);
    EXPECT_EQ(playersJson->Find("names")->items[0].strValue, "Zed");

    SToolResult ping = RunQuery(strTarget + "p");
    ASSERT_EQ(ping.nStatus, 0);
    auto pingJson = ParseJson(ping.strOut);
    ASSERT_TRUE(pingJson && pingJson->Find("roundTripMs")) << ping.strOut;
    EXPECT_EQ(pingJson->Find("roundTripMs")->eKind, SJsonValue::JSON_NUMBER);

    client.Disconnect();
    EXPECT_EQ(server.Stop(), 0);
    const auto start = std::chrono::steady_clock::now();
    SToolResult silent = RunQuery(strTarget + "-t 300 i");
    EXPECT_EQ(silent.nStatus, 1);
    EXPECT_EQ(silent.strOut, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}
