#include "BotOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvnbot
{

namespace
{

bool ParseInt(const std::string& strText, int nMin, int nMax, int& nOut)
{
    if (strText.empty())
    {
        return false;
    }
    char* pEnd = nullptr;
    errno = 0;
    const long lValue = std::strtol(strText.c_str(), &pEnd, 10);
    if (errno != 0 || pEnd == nullptr || *pEnd != '\0' || lValue < nMin || lValue > nMax)
    {
        return false;
    }
    nOut = static_cast<int>(lValue);
    return true;
}

bool ParseDouble(const std::string& strText, double dMin, double dMax, double& dOut)
{
    if (strText.empty())
    {
        return false;
    }
    char* pEnd = nullptr;
    errno = 0;
    const double dValue = std::strtod(strText.c_str(), &pEnd);
    // The comparisons are false for NaN, which is refused with the rest.
    if (errno != 0 || pEnd == nullptr || *pEnd != '\0' || !(dValue >= dMin && dValue <= dMax))
    {
        return false;
    }
    dOut = dValue;
    return true;
}

enum EValueKind
{
    VALUE_NONE,
    VALUE_TEXT,
    VALUE_INT,
    VALUE_DOUBLE,
};

// One option: its kind, its range, and the field it sets (the one matching the kind).
struct SOptionSpec
{
    const char* szName;
    EValueKind eKind;
    double dMin;
    double dMax;
    bool SBotOptions::*pbFlag;
    std::string SBotOptions::*pstrText;
    int SBotOptions::*pnInt;
    double SBotOptions::*pdDouble;
};

constexpr SOptionSpec Flag(const char* szName, bool SBotOptions::*pb)
{
    return {szName, VALUE_NONE, 0, 0, pb, nullptr, nullptr, nullptr};
}
constexpr SOptionSpec Text(const char* szName, std::string SBotOptions::*pstr)
{
    return {szName, VALUE_TEXT, 0, 0, nullptr, pstr, nullptr, nullptr};
}
constexpr SOptionSpec Int(const char* szName, int nMin, int nMax, int SBotOptions::*pn)
{
    return {szName, VALUE_INT, static_cast<double>(nMin), static_cast<double>(nMax), nullptr, nullptr,
            pn,     nullptr};
}
constexpr SOptionSpec Real(const char* szName, double dMin, double dMax, double SBotOptions::*pd)
{
    return {szName, VALUE_DOUBLE, dMin, dMax, nullptr, nullptr, nullptr, pd};
}

const SOptionSpec kOptions[] = {
    Text("--host", &SBotOptions::strHost),
    Int("--port", 1, 65535, &SBotOptions::nPort),
    Int("--bots", 1, 1000, &SBotOptions::nBots),
    Real("--hz", 0.1, 1000.0, &SBotOptions::dHz),
    Real("--seconds", 0.1, 86400.0, &SBotOptions::dSeconds),
    Flag("--spread", &SBotOptions::bSpread),
    Flag("--vehicles", &SBotOptions::bVehicles),
    Real("--warmup", 0.0, 3600.0, &SBotOptions::dWarmup),
    Real("--drain", 0.0, 60.0, &SBotOptions::dDrain),
    Real("--setup-timeout", 1.0, 3600.0, &SBotOptions::dSetupTimeout),
    Int("--threads", 1, 16, &SBotOptions::nThreads),
    Text("--name-prefix", &SBotOptions::strNamePrefix),
    Int("--cpu-pid", 1, 0x7FFFFFFF, &SBotOptions::nCpuPid),
    Int("--cpu-hz", 1, 100000, &SBotOptions::nCpuHz),
    Real("--churn", 0.0, 86400.0, &SBotOptions::dChurn),
    Real("--chat", 0.0, 86400.0, &SBotOptions::dChat),
    Flag("--help", &SBotOptions::bHelp),
};

const SOptionSpec* FindOption(const std::string& strName)
{
    for (const SOptionSpec& entry : kOptions)
    {
        if (strName == entry.szName)
        {
            return &entry;
        }
    }
    return nullptr;
}

bool Apply(const SOptionSpec& entry, const std::string& strValue, SBotOptions& options)
{
    switch (entry.eKind)
    {
    case VALUE_NONE:
        options.*entry.pbFlag = true;
        return true;
    case VALUE_TEXT:
        options.*entry.pstrText = strValue;
        return !strValue.empty();
    case VALUE_INT:
        return ParseInt(strValue, static_cast<int>(entry.dMin), static_cast<int>(entry.dMax),
                        options.*entry.pnInt);
    case VALUE_DOUBLE:
        return ParseDouble(strValue, entry.dMin, entry.dMax, options.*entry.pdDouble);
    }
    return false;
}

} // namespace

bool ParseBotOptions(int argc, const char* const* argv, SBotOptions& options, std::string& strError)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string strArg = argv[i] ? argv[i] : "";
        std::string strValue;
        bool bHasInlineValue = false;
        const size_t nEquals = strArg.find('=');
        if (nEquals != std::string::npos)
        {
            strValue = strArg.substr(nEquals + 1);
            strArg.resize(nEquals);
            bHasInlineValue = true;
        }
        const SOptionSpec* pSpec = FindOption(strArg);
        if (pSpec == nullptr)
        {
            strError = "unknown option " + strArg;
            return false;
        }
        if (pSpec->eKind == VALUE_NONE && bHasInlineValue)
        {
            strError = strArg + " takes no value";
            return false;
        }
        if (pSpec->eKind != VALUE_NONE && !bHasInlineValue)
        {
            if (i + 1 >= argc || argv[i + 1] == nullptr)
            {
                strError = strArg + " needs a value";
                return false;
            }
            strValue = argv[++i];
        }
        if (!Apply(*pSpec, strValue, options))
        {
            strError = "bad value for " + strArg + ": '" + strValue + "'";
            return false;
        }
    }
    return true;
}

const char* BotUsage()
{
    return "usage: orvn-bot [--host 127.0.0.1] [--port 8192] [--bots 10] [--hz 20] [--seconds 10]\n"
           "                [--spread] [--vehicles] [--warmup 3] [--drain 1] [--setup-timeout 60] [--threads "
           "2]\n"
           "                [--name-prefix bot] [--cpu-pid PID [--cpu-hz 100]] [--churn S] [--chat S]\n"
           "Connects, joins and spawns the bots, has each send on-foot sync at the rate for the\n"
           "given seconds after the warm-up, and prints one JSON line with what the others received.\n"
           "With --churn each bot leaves after about S seconds and joins again; with --chat it\n"
           "sends a chat line about every S seconds.\n";
}

} // namespace orvnbot
