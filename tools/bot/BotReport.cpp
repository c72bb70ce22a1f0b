#include "BotReport.h"

#include <cstdio>

namespace orvnbot
{

namespace
{

void AppendNumber(std::string& strOut, const char* szKey, double dValue, const char* szFormat)
{
    char szBuffer[96];
    std::snprintf(szBuffer, sizeof(szBuffer), "\"%s\":", szKey);
    strOut += szBuffer;
    std::snprintf(szBuffer, sizeof(szBuffer), szFormat, dValue);
    strOut += szBuffer;
    strOut += ',';
}

void AppendCount(std::string& strOut, const char* szKey, uint64_t ullValue)
{
    char szBuffer[96];
    std::snprintf(szBuffer, sizeof(szBuffer), "\"%s\":%llu,", szKey,
                  static_cast<unsigned long long>(ullValue));
    strOut += szBuffer;
}

// Failure reasons are fixed texts of the tool; quotes and back-slashes are
// still escaped so that the line stays valid JSON whatever they become.
void AppendText(std::string& strOut, const char* szKey, const std::string& strValue)
{
    strOut += '"';
    strOut += szKey;
    strOut += "\":\"";
    for (char c : strValue)
    {
        if (c == '"' || c == '\\')
        {
            strOut += '\\';
        }
        strOut += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    }
    strOut += "\",";
}

} // namespace

double Delivery(const SBotReport& report)
{
    if (report.ullExpected == 0)
    {
        return -1.0;
    }
    return static_cast<double>(report.ullReceived) / static_cast<double>(report.ullExpected);
}

std::string FormatReportJson(const SBotReport& r)
{
    std::string strOut = "{";
    AppendCount(strOut, "bots", static_cast<uint64_t>(r.nBots));
    AppendNumber(strOut, "hz", r.dHz, "%g");
    AppendNumber(strOut, "seconds", r.dSeconds, "%g");
    AppendCount(strOut, "joined", static_cast<uint64_t>(r.nJoined));
    AppendCount(strOut, "spawned", static_cast<uint64_t>(r.nSpawned));
    AppendCount(strOut, "sent", r.ullSent);
    AppendCount(strOut, "expected", r.ullExpected);
    AppendCount(strOut, "received", r.ullReceived);
    const double dDelivery = Delivery(r);
    if (dDelivery < 0.0)
    {
        strOut += "\"delivery\":null,";
    }
    else
    {
        AppendNumber(strOut, "delivery", dDelivery, "%.5f");
    }
    AppendNumber(strOut, "p50_ms", r.dP50Ms, "%.1f");
    AppendNumber(strOut, "p99_ms", r.dP99Ms, "%.1f");
    AppendNumber(strOut, "max_ms", r.dMaxMs, "%.1f");
    AppendNumber(strOut, "warmup", r.dWarmup, "%g");
    strOut += r.bSpread ? "\"spread\":true," : "\"spread\":false,";
    AppendCount(strOut, "lost", static_cast<uint64_t>(r.nLost));
    AppendCount(strOut, "unexpected", r.ullUnexpected);
    AppendCount(strOut, "duplicates", r.ullDuplicates);
    AppendCount(strOut, "foreign", r.ullForeign);
    AppendCount(strOut, "malformed", r.ullMalformed);
    AppendCount(strOut, "silent_pairs", static_cast<uint64_t>(r.nSilentPairs));
    if (r.dTargetCpuSeconds >= 0.0)
    {
        AppendNumber(strOut, "target_cpu_s", r.dTargetCpuSeconds, "%.3f");
    }
    if (r.bChurn)
    {
        AppendCount(strOut, "joins", r.ullJoins);
        AppendCount(strOut, "leaves", r.ullLeaves);
        AppendCount(strOut, "chats", r.ullChats);
    }
    AppendText(strOut, "first_failure", r.strFirstFailure);
    strOut.back() = '}';
    return strOut;
}

} // namespace orvnbot
