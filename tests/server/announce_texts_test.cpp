// The texts of the death, connect and disconnect announcements: which form a
// death takes, the weapon and body-part tables at their edges, the suffixes.
#include <gtest/gtest.h>

#include <string>

#include "Announcements.h"

namespace
{
const SAnnouncedPlayer g_Victim{0xFF00AB12, "Victim"};
const SAnnouncedPlayer g_Killer{0x12345678, "Killer"};

std::string Death(const SAnnouncedPlayer* pKiller, int nReason, int nBodyPart)
{
    char szText[256];
    FormatDeathText(szText, sizeof(szText), g_Victim, pKiller, nReason, nBodyPart);
    return szText;
}
} // namespace

TEST(AnnounceDeathText, KillNamesKillerFirstThenVictimWithWeaponAndBodyPart)
{
    // Only the low 24 bits of each colour are written, as six hex digits.
    EXPECT_EQ(Death(&g_Killer, 17, 6),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with a Colt 45 to head. <*");
}

TEST(AnnounceDeathText, WeaponsWithoutBodyPartUseTheShortForm)
{
    EXPECT_EQ(Death(&g_Killer, 31, 6), "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with fire. <*");
    for (int nReason : {14, 39, 40, 41, 44, 51})
        EXPECT_EQ(Death(&g_Killer, nReason, 3),
                  std::string("*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with ") +
                      GetWeaponText(nReason) + ". <*")
            << nReason;
    // A neighbour of those codes does name the body part.
    EXPECT_EQ(Death(&g_Killer, 42, 1),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with a driveby weapon to torso. <*");
}

TEST(AnnounceDeathText, UnknownReasonOrBodyPartSaysUnknown)
{
    EXPECT_EQ(Death(&g_Killer, 200, 0),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with unknown to body. <*");
    EXPECT_EQ(Death(&g_Killer, 70, 7),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with unknown hitting his car. <*");
    EXPECT_EQ(Death(&g_Killer, 5, 8),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with a knife unknown. <*");
    EXPECT_EQ(Death(&g_Killer, -1, -1),
              "*> [#345678]Killer[$FF] killed [#00AB12]Victim[$FF] with unknown unknown. <*");
}

TEST(AnnounceDeathText, DeathWithoutKillerFollowsTheReasonRulesInOrder)
{
    struct SCase
    {
        int nReason;
        int nBodyPart;
        const char* szEnd;
    };
    const SCase aCases[] = {
        {43, 0, "drowned."},
        {50, 7, "drowned."},
        {70, 0, "committed suicide."},
        {41, 7, "exploded."},
        {51, 0, "exploded."},
        {39, 7, "died in a car crash."},
        {39, 6, "fell to death."},
        {40, 7, "fell to death."},
        {44, 7, "fell to death."},
        {31, 7, "burned to death."},
        {14, 0, "choked to death."},
        {17, 6, "died for some reason."},
        {0, 0, "died for some reason."},
        {255, 255, "died for some reason."},
    };
    for (const SCase& c : aCases)
        EXPECT_EQ(Death(nullptr, c.nReason, c.nBodyPart),
                  std::string("*> [#00AB12]Victim[$FF] ") + c.szEnd + " <*")
            << c.nReason << "/" << c.nBodyPart;
}

TEST(AnnounceDeathText, WeaponTableEdges)
{
    EXPECT_STREQ(GetWeaponText(0), "fists");
    EXPECT_STREQ(GetWeaponText(15), "a molotov coctail");
    EXPECT_STREQ(GetWeaponText(24), "a silenced Ingramsl");
    EXPECT_STREQ(GetWeaponText(36), "a camera");
    EXPECT_STREQ(GetWeaponText(37), "unknown");
    EXPECT_STREQ(GetWeaponText(38), "unknown");
    EXPECT_STREQ(GetWeaponText(43), "water");
    EXPECT_STREQ(GetWeaponText(49), "unknown");
    EXPECT_STREQ(GetWeaponText(50), "water");
    EXPECT_STREQ(GetWeaponText(51), "collision");
    EXPECT_STREQ(GetWeaponText(59), "unknown");
    EXPECT_STREQ(GetWeaponText(60), "helicopter blades");
    EXPECT_STREQ(GetWeaponText(68), "unknown");
    EXPECT_STREQ(GetWeaponText(69), "nothing");
    EXPECT_STREQ(GetWeaponText(70), "unknown");
    EXPECT_STREQ(GetWeaponText(-5), "unknown");
}

TEST(AnnounceDeathText, BodyPartTableEdges)
{
    EXPECT_STREQ(GetBodyPartText(0), "to body");
    EXPECT_STREQ(GetBodyPartText(2), "to left arm");
    EXPECT_STREQ(GetBodyPartText(5), "to right leg");
    EXPECT_STREQ(GetBodyPartText(7), "hitting his car");
    EXPECT_STREQ(GetBodyPartText(8), "unknown");
    EXPECT_STREQ(GetBodyPartText(-1), "unknown");
}

TEST(AnnounceDisconnectText, SuffixPerReasonAndNoneForOthers)
{
    EXPECT_STREQ(GetDisconnectSuffix(0), " (timeout)");
    EXPECT_STREQ(GetDisconnectSuffix(1), "");
    EXPECT_STREQ(GetDisconnectSuffix(2), " (kicked)");
    EXPECT_STREQ(GetDisconnectSuffix(3), " (crashed)");
    EXPECT_STREQ(GetDisconnectSuffix(4), "");
    EXPECT_STREQ(GetDisconnectSuffix(255), "");
    EXPECT_STREQ(GetDisconnectSuffix(-1), "");
}
