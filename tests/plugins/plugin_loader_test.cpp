// Loading plugins from the plugins line: name parsing, the failure lines and
// where they go, ids during and after loading, and the plugin queries.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Console.h"
#include "plugins/support/plugin_TestHost.h"
#include "support/ServerProcess.h"

namespace
{
class PluginLoader : public ::testing::Test
{
protected:
    // Runs fn with standard output captured and the log file open; fills the
    // two texts.
    template <typename TFunction> void Capture(TFunction fn)
    {
        ASSERT_TRUE(ConsoleOpenLog(m_Host.Dir().File("server_log.txt").c_str()));
        CCaptureStdout capture;
        fn();
        m_strOut = capture.Finish();
        ConsoleCloseLog();
        m_strLog = m_Host.Dir().Read("server_log.txt");
    }

    std::string Name(int nId) { return m_Host.Manager().GetPluginInfo(nId)->name; }

    CPluginTestHost m_Host{ORVN_TEST_PLUGIN_DIR};
    std::string m_strOut;
    std::string m_strLog;
};

TEST_F(PluginLoader, ListIsSplitAtSpacesAndTabsInOrder)
{
    const std::string strA = CPluginTestHost::UniqueName("a");
    const std::string strB = CPluginTestHost::UniqueName("b");
    m_Host.Install("recorder", strA);
    m_Host.Install("recorder", strB);
    Capture([&] { m_Host.Manager().LoadPlugins(("  " + strA + "\t" + strB + "  ").c_str()); });

    ASSERT_EQ(m_Host.Manager().GetPluginCount(), 2);
    EXPECT_EQ(Name(0), strA);
    EXPECT_EQ(Name(1), strB);
    const std::string strExpected = "Loaded plugin: " + strA + "\n\nLoaded plugin: " + strB + "\n\n";
    EXPECT_EQ(m_strOut, strExpected);
    EXPECT_EQ(m_strLog, strExpected);
}

TEST_F(PluginLoader, EmptyListLoadsAndPrintsNothing)
{
    Capture(
        [&]
        {
            m_Host.Manager().LoadPlugins("");
            m_Host.Manager().LoadPlugins(" \t  ");
            m_Host.Manager().LoadPlugins(nullptr);
        });
    EXPECT_EQ(m_Host.Manager().GetPluginCount(), 0);
    EXPECT_EQ(m_strOut, "");
}

TEST_F(PluginLoader, LongNamesAreCutTo31Characters)
{
    const std::string strName31 = (CPluginTestHost::UniqueName("long") + std::string(31, 'x')).substr(0, 31);
    m_Host.Install("recorder", strName31);
    const std::string strListed = strName31 + "_and_the_rest_is_dropped";
    Capture([&] { m_Host.Manager().LoadPlugins((strListed + " ").c_str()); });

    ASSERT_EQ(m_Host.Manager().GetPluginCount(), 1);
    EXPECT_EQ(Name(0), strName31);
    EXPECT_EQ(m_strOut, "Loaded plugin: " + strName31 + "\n\n");
}

TEST_F(PluginLoader, SameNameTwiceGivesTwoPluginsAndFindReturnsTheFirst)
{
    const std::string strName = CPluginTestHost::UniqueName("Twice");
    m_Host.Install("recorder", strName);
    Capture([&] { m_Host.Manager().LoadPlugins((strName + " " + strName).c_str()); });

    ASSERT_EQ(m_Host.Manager().GetPluginCount(), 2);
    PluginFuncs* pFuncs = m_Host.Funcs();
    EXPECT_EQ(pFuncs->FindPlugin(strName.c_str()), 0);
    std::string strUpper = strName;
    for (char& c : strUpper)
        c = static_cast<char>(toupper(c));
    EXPECT_EQ(pFuncs->FindPlugin(strUpper.c_str()), 0);
    EXPECT_EQ(pFuncs->FindPlugin("nobody"), -1);
    EXPECT_EQ(pFuncs->FindPlugin(""), -1);
    EXPECT_EQ(pFuncs->FindPlugin(nullptr), -1);
}

TEST_F(PluginLoader, FindLooksAtNoMoreThan32Characters)
{
    m_Host.LoadRecorders(1);
    // A plugin may overwrite its name with 32 bytes and no terminator.
    RecorderControl* pControl = m_Host.Recorder(0);
    memset(pControl->info->name, 'q', sizeof(pControl->info->name));
    EXPECT_EQ(m_Host.Funcs()->FindPlugin(std::string(32, 'Q').c_str()), 0);
    EXPECT_EQ(m_Host.Funcs()->FindPlugin((std::string(32, 'q') + "extra").c_str()), 0);
    EXPECT_EQ(m_Host.Funcs()->FindPlugin(std::string(31, 'q').c_str()), -1);
}

TEST_F(PluginLoader, MissingLibraryPrintsLoaderErrorOnStandardOutputOnly)
{
    Capture([&] { m_Host.Manager().LoadPlugins("not_there"); });
    EXPECT_EQ(m_Host.Manager().GetPluginCount(), 0);
    const std::string strError = "Plugin error >> LoadLibrary() 'plugins/not_there.so' failed: Code 0 (";
    EXPECT_EQ(m_strOut.rfind(strError, 0), 0u) << m_strOut;
    // The loader's reason ends its own line; the next line starts clean.
    EXPECT_NE(m_strOut.find(")\nFailed to load plugin: not_there\n\n"), std::string::npos) << m_strOut;
    EXPECT_EQ(m_strLog, "Failed to load plugin: not_there\n\n");
}

TEST_F(PluginLoader, LibraryWithoutEntryPointIsRefused)
{
    const std::string strName = CPluginTestHost::UniqueName("noentry");
    m_Host.Install("no_entry", strName);
    Capture([&] { m_Host.Manager().LoadPlugins(strName.c_str()); });
    EXPECT_EQ(m_Host.Manager().GetPluginCount(), 0);
    const std::string strError =
        "Plugin error >> GetProcAddress() 'plugins/" + strName + ".so' failed: Code 0 (";
    EXPECT_EQ(m_strOut.rfind(strError, 0), 0u) << m_strOut;
    EXPECT_NE(m_strOut.find("OrvnPluginInit"), std::string::npos);
    EXPECT_EQ(m_strLog, "Failed to load plugin: " + strName + "\n\n");
}

// The refused plugin counted itself as plugin 0 of 1 during its entry point;
// the next plugin then gets id 0, and the refused one leaves no trace.
TEST_F(PluginLoader, RefusedEntryPointFreesItsId)
{
    const std::string strRefused = CPluginTestHost::UniqueName("refuse");
    const std::string strNext = CPluginTestHost::UniqueName("next");
    m_Host.Install("refuse_entry", strRefused);
    m_Host.Install("recorder", strNext);
    Capture([&] { m_Host.Manager().LoadPlugins((strRefused + " " + strNext).c_str()); });

    EXPECT_EQ(m_strOut, "refuse_entry: id 0 of 1\nPlugin error >> OrvnPluginInit in 'plugins/" + strRefused +
                            ".so' returned 0.\nFailed to load plugin: " + strRefused +
                            "\n\nLoaded plugin: " + strNext + "\n\n");
    EXPECT_EQ(m_strLog, "refuse_entry: id 0 of 1\nFailed to load plugin: " + strRefused +
                            "\n\nLoaded plugin: " + strNext + "\n\n");
    ASSERT_EQ(m_Host.Manager().GetPluginCount(), 1);
    EXPECT_EQ(Name(0), strNext);
    RecorderControl* pControl = m_Host.Recorder(0);
    ASSERT_NE(pControl, nullptr);
    EXPECT_EQ(pControl->idAtInit, 0);
    // The refused plugin's frame handler went with it (its library is closed).
    pControl->log = &m_Host.Log();
    m_Host.Manager().OnServerFrame(0.5f);
    EXPECT_EQ(m_Host.Events(), std::vector<std::string>{"p0 OnServerFrame [0.500]"});
}

TEST_F(PluginLoader, PluginCountsAsLoadedDuringItsEntryPoint)
{
    m_Host.LoadRecorders(2);
    RecorderControl* pSecond = m_Host.Recorder(1);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_EQ(pSecond->countAtInit, 2);
    EXPECT_EQ(pSecond->idAtInit, 1);
    EXPECT_EQ(pSecond->foundAtInit, 1);
    EXPECT_EQ(pSecond->infoResultAtInit, 1);
    EXPECT_EQ(pSecond->infoAtInit.structSize, 44u);
    EXPECT_EQ(pSecond->infoAtInit.pluginId, 1);
    EXPECT_STREQ(pSecond->infoAtInit.name, Name(1).c_str());
    EXPECT_EQ(pSecond->infoAtInit.pluginData, 0u);
    EXPECT_EQ(pSecond->callbacks->structSize, sizeof(PluginCallbacks));
    EXPECT_EQ(m_Host.Recorder(0)->countAtInit, 1);
}

TEST_F(PluginLoader, FiftyFirstPluginIsRefused)
{
    std::string strList;
    std::string strName;
    for (int i = 0; i < MAX_PLUGINS + 1; ++i)
    {
        strName = CPluginTestHost::UniqueName("many");
        m_Host.Install("recorder", strName);
        strList += strName + " ";
    }
    Capture([&] { m_Host.Manager().LoadPlugins(strList.c_str()); });

    EXPECT_EQ(m_Host.Manager().GetPluginCount(), MAX_PLUGINS);
    EXPECT_NE(
        m_strOut.find("Plugin error >> 'plugins/" + strName +
                      ".so' not loaded: no more than 50 plugins can be loaded.\nFailed to load plugin: " +
                      strName + "\n"),
        std::string::npos)
        << m_strOut;
    EXPECT_EQ(m_strLog.find("Plugin error"), std::string::npos);
}

TEST_F(PluginLoader, ExportListsArePublishedPerPlugin)
{
    m_Host.LoadRecorders(2);
    CPluginManager& manager = m_Host.Manager();
    PluginFuncs* pFuncs = m_Host.Funcs();
    int nCount = -1;

    // Each recorder published its own control block.
    EXPECT_NE(m_Host.Recorder(0), m_Host.Recorder(1));
    void* apList[3] = {&nCount, &manager, pFuncs};
    EXPECT_EQ(pFuncs->ExportFunctions(1, apList, 3), 1);
    EXPECT_EQ(pFuncs->GetPluginExports(1, &nCount), apList);
    EXPECT_EQ(nCount, 3);

    EXPECT_EQ(pFuncs->ExportFunctions(2, apList, 3), 0);
    EXPECT_EQ(pFuncs->ExportFunctions(-1, apList, 3), 0);
    nCount = 5;
    EXPECT_EQ(pFuncs->GetPluginExports(2, &nCount), nullptr);
    EXPECT_EQ(nCount, 0);
    EXPECT_EQ(pFuncs->GetPluginExports(-7, nullptr), nullptr);

    // A missing list publishes nothing; a negative count keeps the list with no entries.
    EXPECT_EQ(pFuncs->ExportFunctions(1, nullptr, 4), 1);
    EXPECT_EQ(pFuncs->GetPluginExports(1, &nCount), nullptr);
    EXPECT_EQ(nCount, 0);
    EXPECT_EQ(pFuncs->ExportFunctions(1, apList, -2), 1);
    EXPECT_EQ(pFuncs->GetPluginExports(1, &nCount), apList);
    EXPECT_EQ(nCount, 0);
}

// The whole start-up through the real binary: the free-roam example loads
// and starts, and a plugin refusing OnServerInitialise ends the server with
// status 1 before the plugins after it are asked.
TEST(PluginServerBinary, ExampleLoadsAndInitialiseRefusalQuits)
{
    const std::string strExample = std::string(ORVN_BINARY_DIR) + "/examples/freeroam.so";
    if (!std::filesystem::exists(strExample))
        GTEST_SKIP() << "example plugin not built";
    CTempDir dir;
    std::filesystem::create_directory(dir.File("plugins"));
    std::filesystem::copy_file(strExample, dir.File("plugins/freeroam.so"));
    std::filesystem::copy_file(std::string(ORVN_TEST_PLUGIN_DIR) + "/refuse_init.so",
                               dir.File("plugins/refuse_init.so"));
    const int nPort = FindFreeUdpPort();
    dir.Write("server.cfg", "port " + std::to_string(nPort) + "\nplugins freeroam refuse_init freeroam\n");

    CServerProcess server;
    ASSERT_TRUE(server.Start(dir.Path(), {}, ORVN_SERVER_BINARY));
    EXPECT_EQ(server.WaitExit(10000), 1) << server.Output();
    const std::string strOut = server.Output();
    EXPECT_NE(strOut.find("Loaded plugin: freeroam"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("Loaded plugin: refuse_init"), std::string::npos);
    EXPECT_NE(strOut.find("freeroam: ready with 3 classes"), std::string::npos);
    // Plugin 2 is never asked once plugin 1 refused.
    const size_t nRefusal = strOut.find("refuse_init: OnServerInitialise");
    ASSERT_NE(nRefusal, std::string::npos);
    EXPECT_EQ(strOut.find("freeroam: ready", nRefusal), std::string::npos);
    EXPECT_NE(strOut.find("One or more plugins failed to initialise, quitting."), std::string::npos);
}
} // namespace
