// Build-time generator: reads the plugin header and writes one line per slot of the function table and
// of the callback table, in slot order, with the parameter names:
//
//   ORVN_LUA_FUNCTION(SetPlayerHealth, "playerId,health")
//   ORVN_LUA_EVENT(OnPlayerConnect, "playerId")
//
// The Lua binding derives everything else from each slot's C type, so a slot added to the header is
// bound by the next build without anyone writing a line for it.
//
// Usage: orvn-luaslots-gen <orvn_plugin.h> <output.inc>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct SSlot
{
    std::string strName;
    std::string strParams; // parameter names joined by commas; "..." for a printf-style tail
};

std::string StripComments(const std::string& strText)
{
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText.compare(i, 2, "/*") == 0)
        {
            const size_t nEnd = strText.find("*/", i + 2);
            i = nEnd == std::string::npos ? strText.size() : nEnd + 1;
            strOut += ' ';
        }
        else if (strText.compare(i, 2, "//") == 0)
        {
            const size_t nEnd = strText.find('\n', i);
            i = nEnd == std::string::npos ? strText.size() : nEnd;
        }
        else
            strOut += strText[i];
    }
    return strOut;
}

// The body of "typedef struct NAME { ... } NAME;"; empty when the header has no such struct.
std::string StructBody(const std::string& strText, const std::string& strName)
{
    const size_t nStart = strText.find("typedef struct " + strName);
    const size_t nOpen = nStart == std::string::npos ? nStart : strText.find('{', nStart);
    const size_t nClose = nOpen == std::string::npos ? nOpen : strText.find("} " + strName + ";", nOpen);
    if (nClose == std::string::npos)
        return "";
    return strText.substr(nOpen + 1, nClose - nOpen - 1);
}

// The last identifier of one parameter declaration ("const char* name" -> "name").
std::string ParamName(const std::string& strParam)
{
    static const std::regex reName(R"(([A-Za-z_][A-Za-z0-9_]*)\s*$)");
    std::smatch match;
    if (strParam.find("...") != std::string::npos)
        return "...";
    if (!std::regex_search(strParam, match, reName))
        return "";
    return match[1].str();
}

// Every function pointer member of the body, in declaration order.
bool ParseSlots(const std::string& strBody, std::vector<SSlot>& slots)
{
    static const std::regex reSlot(R"(\(\s*\*\s*([A-Za-z_][A-Za-z0-9_]*)\s*\)\s*\(([^;]*)\)\s*$)");
    std::stringstream stream(strBody);
    std::string strDecl;
    while (std::getline(stream, strDecl, ';'))
    {
        std::smatch match;
        if (strDecl.find('(') == std::string::npos)
            continue; // the size field
        if (!std::regex_search(strDecl, match, reSlot))
        {
            fprintf(stderr, "orvn-luaslots-gen: cannot read the declaration '%s'\n", strDecl.c_str());
            return false;
        }
        SSlot slot{match[1].str(), ""};
        std::stringstream params(match[2].str());
        std::string strParam;
        while (std::getline(params, strParam, ','))
        {
            const std::string strName = ParamName(strParam);
            if (strName.empty() || strName == "void")
                continue;
            slot.strParams += (slot.strParams.empty() ? "" : ",") + strName;
        }
        slots.push_back(slot);
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: orvn-luaslots-gen <orvn_plugin.h> <output.inc>\n");
        return 2;
    }
    std::ifstream input(argv[1]);
    std::stringstream contents;
    contents << input.rdbuf();
    const std::string strText = StripComments(contents.str());
    std::vector<SSlot> functions, events;
    if (!input || !ParseSlots(StructBody(strText, "PluginFuncs"), functions) ||
        !ParseSlots(StructBody(strText, "PluginCallbacks"), events) || functions.empty() || events.empty())
    {
        fprintf(stderr, "orvn-luaslots-gen: no function or callback table in %s\n", argv[1]);
        return 1;
    }
    std::ostringstream out;
    out << "// Generated from sdk/orvn_plugin.h by orvn-luaslots-gen; do not edit.\n";
    for (const SSlot& slot : functions)
        out << "ORVN_LUA_FUNCTION(" << slot.strName << ", \"" << slot.strParams << "\")\n";
    for (const SSlot& slot : events)
        out << "ORVN_LUA_EVENT(" << slot.strName << ", \"" << slot.strParams << "\")\n";
    // Rewritten only when it changes, so that an unchanged header rebuilds nothing.
    std::ifstream previous(argv[2]);
    std::stringstream old;
    old << previous.rdbuf();
    if (previous && old.str() == out.str())
        return 0;
    std::ofstream output(argv[2]);
    output << out.str();
    return output ? 0 : 1;
}
