#include "QueryJson.h"

#include <cstdint>
#include <cstdio>

namespace testclient
{

namespace
{
const char* const kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at nAt, or 0: no overlong
// forms, no surrogates, nothing above U+10FFFF.
size_t ValidSequenceLength(const std::string& strBytes, size_t nAt)
{
    const auto byte = [&](size_t n) { return static_cast<uint8_t>(strBytes[n]); };
    const uint8_t byLead = byte(nAt);
    if (byLead < 0x80)
        return 1;
    size_t nLength = 0;
    uint8_t byMin = 0x80;
    uint8_t byMax = 0xBF;
    if (byLead >= 0xC2 && byLead <= 0xDF)
        nLength = 2;
    else if (byLead >= 0xE0 && byLead <= 0xEF)
    {
        nLength = 3;
        byMin = byLead == 0xE0 ? 0xA0 : 0x80;
        byMax = byLead == 0xED ? 0x9F : 0xBF;
    }
    else if (byLead >= 0xF0 && byLead <= 0xF4)
    {
        nLength = 4;
        byMin = byLead == 0xF0 ? 0x90 : 0x80;
        byMax = byLead == 0xF4 ? 0x8F : 0xBF;
    }
    if (nLength == 0 || nAt + nLength > strBytes.size())
        return 0;
    if (byte(nAt + 1) < byMin || byte(nAt + 1) > byMax)
        return 0;
    for (size_t i = 2; i < nLength; ++i)
        if (byte(nAt + i) < 0x80 || byte(nAt + i) > 0xBF)
            return 0;
    return nLength;
}

void AppendEscaped(std::string& strOut, char c)
{
    switch (c)
    {
    case '"':
        strOut += "\\\"";
        return;
    case '\\':
        strOut += "\\\\";
        return;
    case '\n':
        strOut += "\\n";
        return;
    case '\t':
        strOut += "\\t";
        return;
    default:
        break;
    }
    if (static_cast<uint8_t>(c) < 0x20)
    {
        char szEscape[8];
        std::snprintf(szEscape, sizeof(szEscape), "\\u%04x", static_cast<unsigned>(c));
        strOut += szEscape;
        return;
    }
    strOut += c;
}
} // namespace

std::string JsonString(const std::string& strBytes)
{
    std::string strOut = "\"";
    for (size_t i = 0; i < strBytes.size();)
    {
        const size_t nLength = ValidSequenceLength(strBytes, i);
        if (nLength == 0)
        {
            strOut += kReplacement;
            ++i;
        }
        else if (nLength == 1)
        {
            AppendEscaped(strOut, strBytes[i++]);
        }
        else
        {
            strOut.append(strBytes, i, nLength);
            i += nLength;
        }
    }
    return strOut + "\"";
}

std::string QueryInfoJson(const SQueryInfo& info, long lRoundTripMs)
{
    return "{\"opcode\":\"i\",\"version\":" + JsonString(info.strVersion) +
           ",\"password\":" + (info.bPassword ? "true" : "false") +
           ",\"players\":" + std::to_string(info.usPlayers) +
           ",\"maxPlayers\":" + std::to_string(info.usMaxPlayers) +
           ",\"serverName\":" + JsonString(info.strServerName) +
           ",\"gameMode\":" + JsonString(info.strGameMode) + ",\"mapName\":" + JsonString(info.strMapName) +
           ",\"roundTripMs\":" + std::to_string(lRoundTripMs) + "}";
}

std::string QueryPlayersJson(const SQueryPlayers& players, long lRoundTripMs)
{
    std::string strNames;
    for (const std::string& strName : players.names)
        strNames += (strNames.empty() ? "" : ",") + JsonString(strName);
    return "{\"opcode\":\"c\",\"players\":" + std::to_string(players.usCount) + ",\"names\":[" + strNames +
           "],\"roundTripMs\":" + std::to_string(lRoundTripMs) + "}";
}

std::string QueryPingJson(long lRoundTripMs)
{
    return "{\"opcode\":\"p\",\"roundTripMs\":" + std::to_string(lRoundTripMs) + "}";
}

} // namespace testclient
