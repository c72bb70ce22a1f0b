#pragma once

// A scripting host of its own over a function table of test functions, working in a fresh folder
// with a scripts/ folder, on a clock the test moves. Console lines are collected in Lines().

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CLuaHost.h"
#include "CLuaScript.h"
#include "LuaBindings.h"
#include "support/TempDir.h"

class CLuaHostFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_Dir.File("scripts"));
        s_Lines.clear();
        s_ullNowMs = 1000;
        m_Funcs.structSize = sizeof(PluginFuncs);
        m_Funcs.LogMessage = &CLuaHostFixture::Log;
        g_pLuaFuncs = &m_Funcs;
        m_pHost = std::make_unique<luahost::CLuaHost>(&m_Callbacks, [] { return s_ullNowMs; });
        luahost::g_pLuaHost = m_pHost.get();
    }
    void TearDown() override
    {
        m_pHost.reset();
        luahost::g_pLuaHost = nullptr;
        g_pLuaFuncs = nullptr;
    }

    void Script(const std::string& strName, const std::string& strText) const
    {
        m_Dir.Write("scripts/" + strName + ".lua", strText);
    }
    // Writes server.cfg and starts the host as the server does.
    int Start(const std::string& strConfig)
    {
        m_Dir.Write("server.cfg", strConfig);
        return m_pHost->OnServerInitialise();
    }
    void Console(const std::string& strLine)
    {
        m_pHost->OnPluginCommand(ORVN_CONSOLE_COMMAND_ID, strLine.c_str());
    }
    void Frame(uint64_t ullAdvanceMs = 0)
    {
        s_ullNowMs += ullAdvanceMs;
        if (m_Callbacks.OnServerFrame)
            m_Callbacks.OnServerFrame(0.005f);
    }
    static const std::vector<std::string>& Lines() { return s_Lines; }
    static bool Printed(const std::string& strText)
    {
        for (const std::string& strLine : s_Lines)
        {
            if (strLine.find(strText) != std::string::npos)
                return true;
        }
        return false;
    }
    static std::string AllLines()
    {
        std::string strAll;
        for (const std::string& strLine : s_Lines)
            strAll += strLine + "\n";
        return strAll;
    }

public:
    // LogMessage of the test table.
    static int32_t Log(const char* szFormat, ...)
    {
        char szLine[4096];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(szLine, sizeof(szLine), szFormat, args);
        va_end(args);
        s_Lines.push_back(szLine);
        return 1;
    }

protected:
    CTempDir m_Dir;
    CScopedChdir m_Chdir{m_Dir.Path()};
    PluginFuncs m_Funcs = {};
    PluginCallbacks m_Callbacks = {};
    std::unique_ptr<luahost::CLuaHost> m_pHost;
    static inline std::vector<std::string> s_Lines;
    static inline uint64_t s_ullNowMs = 0;
};
