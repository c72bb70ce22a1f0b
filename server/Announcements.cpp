#include "Announcements.h"

#include <cstdio>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"

namespace
{
// Every chat line fits: names are at most 23 characters, the longest fixed
// text is under 80.
constexpr int ANNOUNCEMENT_BUFFER = 256;

const char* const UNKNOWN_TEXT = "unknown";

// Indexed by the disconnect reason; "left" (1) has no suffix.
const char* const g_aszDisconnectSuffix[] = {" (timeout)", "", " (kicked)", " (crashed)"};

// Indexed by the body-part code of a death report.
const char* const g_aszBodyPart[] = {"to body",     "to torso",     "to left arm", "to right arm",
                                     "to left leg", "to right leg", "to head",     "hitting his car"};

// Indexed by the reason code of a death report.
const char* const g_aszWeapon[] = {
    "fists",               // 0
    "knuckles",            // 1
    "a screwdriver",       // 2
    "a golf club",         // 3
    "a nightstick",        // 4
    "a knife",             // 5
    "a baseball bat",      // 6
    "a hammer",            // 7
    "a meat cleaver",      // 8
    "a machete",           // 9
    "a katana",            // 10
    "a chainsaw",          // 11
    "a grenade",           // 12
    "a remote grenade",    // 13
    "tear gas",            // 14
    "a molotov coctail",   // 15
    "a rocket",            // 16
    "a Colt 45",           // 17
    "a Python",            // 18
    "a shotgun",           // 19
    "a SPAS shotgun",      // 20
    "a stubby shotgun",    // 21
    "a Tec9",              // 22
    "an Uzi",              // 23
    "a silenced Ingramsl", // 24
    "an MP5",              // 25
    "an M4",               // 26
    "a Ruger",             // 27
    "a sniper rifle",      // 28
    "a scoped rifle",      // 29
    "a rocket",            // 30
    "fire",                // 31
    "an M60",              // 32
    "a minigun",           // 33
    "a detonator",         // 34
    "a helicannon",        // 35
    "a camera",            // 36
    "unknown",             // 37
    "unknown",             // 38
    "a car",               // 39
    "a car",               // 40
    "an explosion",        // 41
    "a driveby weapon",    // 42
    "water",               // 43
    "collision",           // 44
    "unknown",             // 45
    "unknown",             // 46
    "unknown",             // 47
    "unknown",             // 48
    "unknown",             // 49
    "water",               // 50
    "collision",           // 51
    "unknown",             // 52
    "unknown",             // 53
    "unknown",             // 54
    "unknown",             // 55
    "unknown",             // 56
    "unknown",             // 57
    "unknown",             // 58
    "unknown",             // 59
    "helicopter blades",   // 60
    "unknown",             // 61
    "unknown",             // 62
    "unknown",             // 63
    "unknown",             // 64
    "unknown",             // 65
    "unknown",             // 66
    "unknown",             // 67
    "unknown",             // 68
    "nothing",             // 69
};
static_assert(sizeof(g_aszWeapon) / sizeof(g_aszWeapon[0]) == 70, "one weapon text per reason 0..69");

// Kills by these reasons name no body part: the weapon hits no particular place.
const int g_anReasonsWithoutBodyPart[] = {14, 31, 39, 40, 41, 44, 51};

// A death without a killer: the first rule whose reason (and body part, unless
// any) matches gives the text; the order matters for reason 39.
constexpr int ANY_BODY_PART = -1;
struct SSelfDeathRule
{
    int nReason;
    int nBodyPart;
    const char* szFormat;
};
const SSelfDeathRule g_aSelfDeathRules[] = {
    {43, ANY_BODY_PART, "*> [#%06X]%s[$FF] drowned. <*"},
    {50, ANY_BODY_PART, "*> [#%06X]%s[$FF] drowned. <*"},
    {70, ANY_BODY_PART, "*> [#%06X]%s[$FF] committed suicide. <*"},
    {41, ANY_BODY_PART, "*> [#%06X]%s[$FF] exploded. <*"},
    {51, ANY_BODY_PART, "*> [#%06X]%s[$FF] exploded. <*"},
    {39, 7, "*> [#%06X]%s[$FF] died in a car crash. <*"},
    {39, ANY_BODY_PART, "*> [#%06X]%s[$FF] fell to death. <*"},
    {40, ANY_BODY_PART, "*> [#%06X]%s[$FF] fell to death. <*"},
    {44, ANY_BODY_PART, "*> [#%06X]%s[$FF] fell to death. <*"},
    {31, ANY_BODY_PART, "*> [#%06X]%s[$FF] burned to death. <*"},
    {14, ANY_BODY_PART, "*> [#%06X]%s[$FF] choked to death. <*"},
};
const char* const SELF_DEATH_DEFAULT = "*> [#%06X]%s[$FF] died for some reason. <*";

template <typename T, int N> constexpr int CountOf(T (&)[N])
{
    return N;
}

const char* TableText(const char* const* pTable, int nCount, int nIndex)
{
    return (nIndex >= 0 && nIndex < nCount) ? pTable[nIndex] : UNKNOWN_TEXT;
}

bool NamesNoBodyPart(int nReason)
{
    for (int nCode : g_anReasonsWithoutBodyPart)
    {
        if (nCode == nReason)
            return true;
    }
    return false;
}

const char* SelfDeathFormat(int nReason, int nBodyPart)
{
    for (const SSelfDeathRule& rule : g_aSelfDeathRules)
    {
        if (rule.nReason == nReason && (rule.nBodyPart == ANY_BODY_PART || rule.nBodyPart == nBodyPart))
            return rule.szFormat;
    }
    return SELF_DEATH_DEFAULT;
}

uint32_t Rgb(uint32_t uiColour)
{
    return uiColour & 0xFFFFFFu;
}

SAnnouncedPlayer Describe(const CPlayer* pPlayer)
{
    return SAnnouncedPlayer{pPlayer->m_uiColour, pPlayer->GetName()};
}
} // namespace

const char* GetDisconnectSuffix(int nReason)
{
    if (nReason < 0 || nReason >= CountOf(g_aszDisconnectSuffix))
        return "";
    return g_aszDisconnectSuffix[nReason];
}

const char* GetBodyPartText(int nBodyPart)
{
    return TableText(g_aszBodyPart, CountOf(g_aszBodyPart), nBodyPart);
}

const char* GetWeaponText(int nReason)
{
    return TableText(g_aszWeapon, CountOf(g_aszWeapon), nReason);
}

void FormatDeathText(char* szBuffer, int nSize, const SAnnouncedPlayer& victim,
                     const SAnnouncedPlayer* pKiller, int nReason, int nBodyPart)
{
    if (!pKiller)
    {
        snprintf(szBuffer, nSize, SelfDeathFormat(nReason, nBodyPart), Rgb(victim.uiColour), victim.szName);
        return;
    }
    const char* szWeapon = GetWeaponText(nReason);
    if (NamesNoBodyPart(nReason))
        snprintf(szBuffer, nSize, "*> [#%06X]%s[$FF] killed [#%06X]%s[$FF] with %s. <*",
                 Rgb(pKiller->uiColour), pKiller->szName, Rgb(victim.uiColour), victim.szName, szWeapon);
    else
        snprintf(szBuffer, nSize, "*> [#%06X]%s[$FF] killed [#%06X]%s[$FF] with %s %s. <*",
                 Rgb(pKiller->uiColour), pKiller->szName, Rgb(victim.uiColour), victim.szName, szWeapon,
                 GetBodyPartText(nBodyPart));
}

void AnnounceConnect(CPlayer* pPlayer)
{
    if (!pPlayer)
        return;
    LogMessage("Player '%s' ID %d connected.", pPlayer->GetName(), pPlayer->GetSlot());
    if (!g_pServer || !g_pServer->m_bJoinMessages)
        return;
    char szText[ANNOUNCEMENT_BUFFER];
    snprintf(szText, sizeof(szText), "*> %s connected. <*", pPlayer->GetName());
    SendChatLine(-1, ANNOUNCEMENT_COLOUR, szText);
}

void AnnounceDisconnect(CPlayer* pPlayer, int nReason)
{
    if (!pPlayer)
        return;
    const char* szSuffix = GetDisconnectSuffix(nReason);
    LogMessage("Player '%s' ID %d disconnected%s.", pPlayer->GetName(), pPlayer->GetSlot(), szSuffix);
    if (!g_pServer || !g_pServer->m_bJoinMessages)
        return;
    char szText[ANNOUNCEMENT_BUFFER];
    snprintf(szText, sizeof(szText), "*> %s disconnected%s. <*", pPlayer->GetName(), szSuffix);
    SendChatLine(-1, ANNOUNCEMENT_COLOUR, szText);
}

void AnnounceDeath(CPlayer* pVictim, CPlayer* pKiller, int nReason, int nBodyPart)
{
    if (!pVictim || !g_pServer || !g_pServer->m_bDeathMessages)
        return;
    SAnnouncedPlayer victim = Describe(pVictim);
    SAnnouncedPlayer killer = pKiller ? Describe(pKiller) : SAnnouncedPlayer{0, ""};
    char szText[ANNOUNCEMENT_BUFFER];
    FormatDeathText(szText, sizeof(szText), victim, pKiller ? &killer : nullptr, nReason, nBodyPart);
    SendChatLine(-1, ANNOUNCEMENT_COLOUR, szText);
}
