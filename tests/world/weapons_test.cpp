// Custom weapons from store file names and the weapon data overrides: the
// name rules, registration through a real store folder, the value
// conversions, the messages of each reset, and the operator's data file.
#include <gmock/gmock.h>

#include <cstring>
#include <filesystem>

#include "plugins/CPluginManager.h"
#include "DR_SHA1.h"
#include "ContentMessages.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayerPool.h"
#include "players/WeaponSlots.h"
#include "world/CCustomWeapons.h"

using testclient::SWeaponDataEntry;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{

void WriteStoreFile(const CTempDir& folder, const std::string& strName, const std::string& strContents)
{
    std::filesystem::create_directories(std::filesystem::path(folder.File("store/" + strName)).parent_path());
    folder.Write("store/" + strName, strContents);
}

TEST(CustomWeaponNames, EveryNumberAndSeparatorIsChecked)
{
    struct SCase
    {
        const char* szName;
        bool bValid;
        int nId, nSlot, nBase;
    };
    const SCase aCases[] = {
        {"w120_s4_l26_minigun.7z", true, 120, 4, 26},
        {"w100_s0_l0_.7z", true, 100, 0, 0},
        {"w249_s9_l33_x", true, 249, 9, 33},
        {"w120_s1_l81_x.7z", true, 120, 1, 81},
        {"w120_s1_l80_x.7z", true, 120, 1, 80},
        {"w+120_s1_l0_x.7z", true, 120, 1, 0},
        {"w99_s1_l0_x.7z", false, 0, 0, 0},
        {"w250_s1_l0_x.7z", false, 0, 0, 0},
        {"w120_s10_l0_x.7z", false, 0, 0, 0},
        {"w120_s-1_l0_x.7z", false, 0, 0, 0},
        {"w120_s1_l34_x.7z", false, 0, 0, 0},
        {"w120_s1_l79_x.7z", false, 0, 0, 0},
        {"w120_s1_l0.7z", false, 0, 0, 0},
        {"W120_s1_l0_x.7z", false, 0, 0, 0},
        {"w120s1_l0_x.7z", false, 0, 0, 0},
        {"w_s1_l0_x.7z", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const SCase& c : aCases)
    {
        int nId = 0, nSlot = 0, nBase = 0;
        EXPECT_EQ(CCustomWeapons::ParseName(c.szName, nId, nSlot, nBase), c.bValid) << c.szName;
        if (c.bValid)
        {
            EXPECT_EQ(nId, c.nId) << c.szName;
            EXPECT_EQ(nSlot, c.nSlot) << c.szName;
            EXPECT_EQ(nBase, c.nBase) << c.szName;
        }
    }
}

TEST(CustomWeaponStore, NamesUnderWeaponsRegisterAndEveryRefusalIsReported)
{
    nettest::CServerHarness harness("", nullptr,
                                    [](const CTempDir& folder)
                                    {
                                        WriteStoreFile(folder, "weapons/w120_s4_l26_x.7z", "a");
                                        WriteStoreFile(folder, "Weapons/sub/W121_S1_L0_y.7Z", "b");
                                        WriteStoreFile(folder, "weapons/w121_s5_l1_z.7z", "c");
                                        WriteStoreFile(folder, "weapons/w99_s1_l0_x.7z", "d");
                                        WriteStoreFile(folder, "weapons/readme.txt", "e");
                                        WriteStoreFile(folder, "weapons/w130_s2_l3_q.7z", "f");
                                        WriteStoreFile(folder, "weapons/w130_s3_l4_r.7z", "g");
                                        WriteStoreFile(folder, "w140_s2_l3_top.7z", "h");
                                    });
    ASSERT_TRUE(harness.Started());
    const std::string strOutput = harness.TakeOutput();
    EXPECT_EQ(GetWeaponSlot(120), 4);
    EXPECT_EQ(GetBaseWeapon(120), 26);
    EXPECT_EQ(GetWeaponSlot(121), 5);
    EXPECT_EQ(GetWeaponSlot(140), 10);
    EXPECT_EQ(GetBaseWeapon(140), -1);
    EXPECT_THAT(strOutput,
                HasSubstr("[WEAPONS] Filename 'Weapons/sub/W121_S1_L0_y.7Z' not in valid format for a "
                          "custom weapon file."));
    EXPECT_THAT(strOutput, HasSubstr("[WEAPONS] Filename 'weapons/w99_s1_l0_x.7z' not in valid format"));
    EXPECT_THAT(strOutput, Not(HasSubstr("readme")));
    // Of two files for one identifier one wins and the other is refused.
    const int nSlot130 = GetWeaponSlot(130);
    EXPECT_TRUE(nSlot130 == 2 || nSlot130 == 3);
    EXPECT_THAT(strOutput, HasSubstr("' as weapon - slot already in use."));
    EXPECT_THAT(strOutput, Not(HasSubstr("No custom weapons")));

    // The weapon-slot rules now place the custom weapon.
    ASSERT_TRUE(harness.Join(0, "Alice"));
    EXPECT_EQ(g_pFuncs->GivePlayerWeapon(0, 120, 50), 1);
    EXPECT_EQ(g_pFuncs->GetPlayerWeaponAtSlot(0, 4), 120);
    EXPECT_EQ(g_pFuncs->RemovePlayerWeapon(0, 120), 1);
    EXPECT_EQ(g_pFuncs->GetPlayerWeaponAtSlot(0, 4), 0);
}

uint8_t FirstDigestByte(const std::string& strContents)
{
    CSHA1 sha1;
    sha1.Reset();
    sha1.Update(reinterpret_cast<const unsigned char*>(strContents.data()),
                static_cast<unsigned int>(strContents.size()));
    sha1.Final();
    uint8_t abyDigest[20];
    sha1.GetHash(abyDigest);
    return abyDigest[0];
}

// Only a file clients are offered registers its weapon: not a second name for
// contents offered under another name, nor a file past the 255 offered.
TEST(CustomWeaponStore, WeaponsWhoseFileIsNotOfferedStayFree)
{
    nettest::CServerHarness harness(
        "", nullptr,
        [](const CTempDir& folder)
        {
            WriteStoreFile(folder, "weapons/w150_s2_l3_a.7z", "same");
            WriteStoreFile(folder, "weapons/w151_s2_l3_b.7z", "same");
            // With "same", 255 contents that sort before the last weapon's, whose digest
            // starts with 0xFF.
            int nFillers = 0;
            for (int i = 0; nFillers < 254; ++i)
            {
                const std::string strContents = "filler " + std::to_string(i);
                if (FirstDigestByte(strContents) != 0xFF)
                    WriteStoreFile(folder, "maps/" + std::to_string(nFillers++) + ".dat", strContents);
            }
            int nLast = 0;
            while (FirstDigestByte("last " + std::to_string(nLast)) != 0xFF)
                ++nLast;
            WriteStoreFile(folder, "weapons/w160_s4_l26_last.7z", "last " + std::to_string(nLast));
        });
    ASSERT_TRUE(harness.Started());
    const std::string strOutput = harness.TakeOutput();
    EXPECT_EQ(GetWeaponSlot(150) + GetWeaponSlot(151), 2 + 10) << strOutput;
    EXPECT_EQ(GetWeaponSlot(160), 10);
    EXPECT_EQ(GetBaseWeapon(160), -1);
    const std::string strNotOffered = "' as weapon - file not offered to clients.";
    EXPECT_THAT(strOutput, HasSubstr("[WEAPONS] Error loading 'weapons/w160_s4_l26_last.7z" + strNotOffered));
    const char* szSecond = GetWeaponSlot(150) == 2 ? "weapons/w151_s2_l3_b.7z" : "weapons/w150_s2_l3_a.7z";
    EXPECT_THAT(strOutput, HasSubstr(std::string("[WEAPONS] Error loading '") + szSecond + strNotOffered));
}

TEST(CustomWeaponStore, AStoreWithoutWeaponsSaysSoOnce)
{
    nettest::CServerHarness harness(
        "", nullptr, [](const CTempDir& folder) { WriteStoreFile(folder, "maps/a.dat", "x"); });
    const std::string strOutput = harness.TakeOutput();
    const size_t nFirst = strOutput.find("[WEAPONS] No custom weapons to load.");
    ASSERT_NE(nFirst, std::string::npos);
    EXPECT_EQ(strOutput.find("[WEAPONS] No custom weapons", nFirst + 1), std::string::npos);
}

class WeaponDataTest : public ::testing::Test
{
protected:
    explicit WeaponDataTest(const std::string& strDataFile = "")
        : m_Harness("", nullptr,
                    [strDataFile](const CTempDir& folder)
                    {
                        if (!strDataFile.empty())
                            folder.Write("weapondata.txt", strDataFile);
                    })
    {
    }

    // To one slot, or with -1 every message 222 sent.
    std::vector<SWeaponDataEntry> Entries(int nSlot)
    {
        std::vector<SWeaponDataEntry> entries;
        nettest::CRecordingPeer& peer = m_Harness.Peer();
        for (const nettest::SSentMessage& sent : nSlot < 0 ? peer.SentWithId(222) : peer.SentTo(nSlot, 222))
        {
            testclient::SReceived received;
            received.payload = sent.Payload();
            std::vector<SWeaponDataEntry> batch;
            EXPECT_TRUE(testclient::DecodeWeaponData(received, batch));
            entries.insert(entries.end(), batch.begin(), batch.end());
        }
        return entries;
    }

    nettest::CServerHarness m_Harness;
};

TEST_F(WeaponDataTest, ValuesAreStoredInTheirFieldsKind)
{
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 2), 2.4);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(17, 24), 426176);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(33, 11), 1.28);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(5, 3), 0);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(34, 1), 0);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 26), 0);

    EXPECT_EQ(g_pFuncs->SetWeaponDataValue(0, 1, 2.7), 1);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 1), 2.0);
    EXPECT_EQ(g_pFuncs->SetWeaponDataValue(0, 3, -2.9), 1);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 3), 4294967294.0);
    EXPECT_EQ(g_pFuncs->SetWeaponDataValue(0, 2, 0.1), 1);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 2), static_cast<double>(0.1f));
    EXPECT_EQ(g_pFuncs->IsWeaponDataValueModified(0, 2), 1);
    EXPECT_EQ(g_pFuncs->IsWeaponDataValueModified(0, 4), 0);

    for (auto [nWeapon, nField] : {std::pair{34, 1}, {-1, 1}, {0, 0}, {0, 26}, {255, 1}})
        EXPECT_EQ(g_pFuncs->SetWeaponDataValue(nWeapon, nField, 1.0), 0) << nWeapon << " " << nField;
    const std::vector<SWeaponDataEntry> sent = Entries(-1);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].byField, 1);
    EXPECT_EQ(sent[0].uiValue, 2u);
    EXPECT_EQ(sent[1].uiValue, 0xFFFFFFFEu);
    float fValue = 0;
    memcpy(&fValue, &sent[2].uiValue, sizeof(fValue));
    EXPECT_FLOAT_EQ(fValue, 0.1f);
}

TEST_F(WeaponDataTest, ResetsSendOnlyWhatTheyRemoved)
{
    g_pFuncs->SetWeaponDataValue(3, 5, 7);
    g_pFuncs->SetWeaponDataValue(3, 6, 8);
    g_pFuncs->SetWeaponDataValue(4, 6, 8);
    m_Harness.Peer().ClearSent();
    EXPECT_EQ(g_pFuncs->ResetWeaponDataValue(3, 5), 1);
    EXPECT_EQ(g_pFuncs->ResetWeaponDataValue(3, 5), 1);
    EXPECT_EQ(g_pFuncs->ResetWeaponData(3), 1);
    EXPECT_EQ(g_pFuncs->ResetWeaponData(3), 1);
    EXPECT_EQ(g_pFuncs->ResetAllWeaponData(), 1);
    EXPECT_EQ(g_pFuncs->ResetAllWeaponData(), 1);
    const std::vector<SWeaponDataEntry> sent = Entries(-1);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].byWeapon, 3);
    EXPECT_EQ(sent[0].byField, 5 + 128);
    EXPECT_EQ(sent[0].uiValue, 0xFFFFFFFFu);
    EXPECT_EQ(sent[1].byField, 0);
    EXPECT_EQ(sent[2].byWeapon, 255);
    EXPECT_EQ(sent[3].byWeapon, 255);
    EXPECT_EQ(g_pFuncs->IsWeaponDataValueModified(4, 6), 0);
}

TEST_F(WeaponDataTest, JoinerGetsEveryOverrideInKeyOrderInBatchesOfTwenty)
{
    for (int nWeapon = 24; nWeapon >= 0; --nWeapon)
        g_pFuncs->SetWeaponDataValue(nWeapon, 2, nWeapon);
    m_Harness.Peer().ClearSent();
    ASSERT_TRUE(m_Harness.Join(1, "Bob"));
    const auto messages = m_Harness.Peer().SentTo(1, 222);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_FALSE(messages[0].bBroadcast);
    EXPECT_EQ(messages[0].Payload()[0], 20);
    EXPECT_EQ(messages[1].Payload()[0], 5);
    const std::vector<SWeaponDataEntry> entries = Entries(1);
    ASSERT_EQ(entries.size(), 25u);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(entries[i].byWeapon, i);
}

class WeaponDataFileTest : public WeaponDataTest
{
protected:
    WeaponDataFileTest()
        : WeaponDataTest("# operator's table\n\n"
                         "5 1 2.5 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25\n")
    {
    }
};

TEST_F(WeaponDataFileTest, RowsOfTheFileReplaceTheBuiltInOnes)
{
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(5, 2), 2.5);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(5, 25), 25);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 2), 2.4);
}

class MalformedWeaponDataFileTest : public WeaponDataTest
{
protected:
    MalformedWeaponDataFileTest()
        : WeaponDataTest("5 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25\n"
                         "0 1 2 3\n")
    {
    }
};

TEST_F(MalformedWeaponDataFileTest, IsRefusedWholeWithItsLine)
{
    EXPECT_THAT(m_Harness.TakeOutput(),
                HasSubstr("[WEAPONS] weapondata.txt line 2: expected a weapon 0..33 and "
                          "25 numbers; the built-in weapon data is kept."));
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(5, 2), 0);
    EXPECT_DOUBLE_EQ(g_pFuncs->GetWeaponDataValue(0, 2), 2.4);
}

} // namespace
