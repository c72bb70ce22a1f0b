// The flood limit keys of server.cfg: defaults on, values read, negative
// values switch a limit off, a bare key warns and keeps the default.
#include <gtest/gtest.h>

#include <string>

#include "CServer.h"
#include "support/TempDir.h"

TEST(FloodSettings, KeysDefaultsAndOddValues)
{
    struct SCase
    {
        const char* szLine;
        int SFloodLimits::*pnField;
        int nExpected;
        bool bWarns;
    };
    const SCase aCases[] = {
        {"queryrate 7", &SFloodLimits::nQueryRate, 7, false},
        {"QueryBurst 9", &SFloodLimits::nQueryBurst, 9, false},
        {"querybudget 0", &SFloodLimits::nQueryBudget, 0, false},
        {"messagerate -5", &SFloodLimits::nMessageRate, 0, false},
        {"messageburst 3000", &SFloodLimits::nMessageBurst, 3000, false},
        {"connectlimit 0", &SFloodLimits::nConnectLimit, 0, false},
        {"queryrate", &SFloodLimits::nQueryRate, DEFAULT_FLOOD_LIMITS.nQueryRate, true},
        {"messagerate many", &SFloodLimits::nMessageRate, DEFAULT_FLOOD_LIMITS.nMessageRate, true},
    };
    for (const SCase& test : aCases)
    {
        CServer server;
        EXPECT_GT(server.m_FloodLimits.*test.pnField, 0) << "on by default: " << test.szLine;
        CTempDir dir;
        dir.Write("server.cfg", std::string(test.szLine) + "\n");
        CCaptureStdout capture;
        server.ReadConfig(dir.File("server.cfg").c_str());
        const std::string strOutput = capture.Finish();
        EXPECT_EQ(server.m_FloodLimits.*test.pnField, test.nExpected) << test.szLine;
        EXPECT_EQ(strOutput.find("Warning: parameters for '") == 0, test.bWarns) << test.szLine << strOutput;
    }
}
