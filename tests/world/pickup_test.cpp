// Pickups and client elements in an in-process server: the built-in effects,
// claims that name nothing, the timer and id answers of the plugin slots, and
// the element tables' id rules and stored-versus-sent values.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "WorldMessages.h"
#include "players/PlayerTestFixture.h"
#include "players/WeaponSlots.h"
#include "world/CClientElements.h"
#include "world/CPickupPool.h"

namespace
{
class PickupTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        m_pPlayer = Spawned(0, "Collector", Vector(0, 0, 10));
        ASSERT_NE(m_pPlayer, nullptr);
        Peer().ClearSent();
        Host().ClearLog();
    }

    // Creates an automatic pickup at the player and claims it with its key.
    void Collect(int nModel, int nQuantity)
    {
        const int nId = F()->CreatePickup(nModel, 0, nQuantity, 1.0f, 0.0f, 10.0f, 255, 1);
        ASSERT_GE(nId, 0);
        Claim(Server().m_pPickupPool->Get(nId)->GetKey());
        F()->DeletePickup(nId);
    }

    void Claim(uint32_t uiKey)
    {
        Send(0, {178, static_cast<uint8_t>(uiKey >> 24), static_cast<uint8_t>(uiKey >> 16),
                 static_cast<uint8_t>(uiKey >> 8), static_cast<uint8_t>(uiKey)});
    }

    CPlayer* m_pPlayer = nullptr;
};

// Weapon models give their weapon, money adds, health and armour only ever
// rise and stop at 100; other models do nothing.
TEST_F(PickupTest, BuiltInEffectsFollowTheModel)
{
    Collect(259, 50);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[GetWeaponSlot(1)], 1);
    Collect(285, 30);
    Collect(285, 30);
    const int nSlot = GetWeaponSlot(28);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[nSlot], 28);
    EXPECT_EQ(m_pPlayer->m_ausSlotAmmo[nSlot], 60);
    Collect(276, 5);
    EXPECT_EQ(m_pPlayer->m_abySlotWeapon[GetWeaponSlot(27)], 27);

    m_pPlayer->m_nMoney = 100;
    Collect(337, 250);
    EXPECT_EQ(m_pPlayer->m_nMoney, 350);

    struct SCase
    {
        int nModel;
        int nBefore;
        int nQuantity;
        int nAfter;
        bool bSent;
    };
    const SCase aCases[] = {
        {366, 95, 10, 100, true},  {366, 50, 10, 60, true}, {366, 100, 10, 100, false},
        {366, 60, -5, 60, false},  {368, 0, 99, 99, true},  {368, 10, 90, 100, true},
        {1240, 50, 10, 50, false},
    };
    for (const SCase& c : aCases)
    {
        SCOPED_TRACE(testing::Message() << c.nModel << " " << c.nBefore << " " << c.nQuantity);
        const bool bArmour = c.nModel == 368;
        uint8_t& byValue = bArmour ? m_pPlayer->m_byArmour : m_pPlayer->m_byHealth;
        byValue = static_cast<uint8_t>(c.nBefore);
        Peer().ClearSent();
        Collect(c.nModel, c.nQuantity);
        EXPECT_EQ(byValue, c.nAfter);
        EXPECT_EQ(ReceivedBy(0, bArmour ? wire::SV_ARMOUR : wire::SV_HEALTH).size(), c.bSent ? 1u : 0u);
    }
}

// Unknown, stale and cut-short claims, and claims from too far, name nothing.
TEST_F(PickupTest, ClaimsThatNameNoPickupAreIgnored)
{
    const int nId = F()->CreatePickup(1240, 0, 1, 1.0f, 0.0f, 10.0f, 255, 0);
    const uint32_t uiKey = Server().m_pPickupPool->Get(nId)->GetKey();
    Claim(uiKey + (1u << 11));
    Claim(uiKey | 0x7FF);
    Claim(1999);
    Send(0, {178, 0, 0});
    ASSERT_EQ(F()->SetPickupPosition(nId, 11.0f, 0.0f, 10.0f), 1);
    Claim(uiKey);
    EXPECT_TRUE(Events("OnPickup").empty());
    // Deleted and created again in the same slot: the old key is stale.
    ASSERT_EQ(F()->DeletePickup(nId), 1);
    ASSERT_EQ(F()->CreatePickup(1240, 0, 1, 1.0f, 0.0f, 10.0f, 255, 0), nId);
    Claim(uiKey);
    EXPECT_TRUE(Events("OnPickup").empty());
    Claim(Server().m_pPickupPool->Get(nId)->GetKey());
    EXPECT_EQ(Events("OnPickupPicked"), std::vector<std::string>{"OnPickupPicked 0 0"});
}

// Every claim here carries the pickup's current key from within reach, yet
// names a pickup the claimant's client cannot be holding or showing: in
// another world, never streamed in, hidden after a collection, or claimed by a
// player who is not in play.
TEST_F(PickupTest, ClaimsCountOnlyForAPickupTheClientHoldsAndShows)
{
    struct SClaimCase
    {
        const char* szWhat;
        std::function<int()> prepare; // makes the pickup and answers its id
    };
    PluginFuncs* f = F();
    const SClaimCase aCases[] = {
        {"another world", [&] { return f->CreatePickup(1240, 7, 1, 1.0f, 0.0f, 10.0f, 255, 0); }},
        {"not streamed in",
         [&]
         {
             const int nId = f->CreatePickup(1240, 0, 1, 1000.0f, 0.0f, 10.0f, 255, 0);
             m_pPlayer->m_vPosition = Vector(1000.0f, 0.0f, 10.0f);
             return nId;
         }},
        {"hidden after its collection",
         [&]
         {
             const int nId = f->CreatePickup(1240, 0, 1, 1.0f, 0.0f, 10.0f, 255, 0);
             f->SetPickupAutoTimer(nId, 60000);
             Claim(Server().m_pPickupPool->Get(nId)->GetKey());
             Host().ClearLog();
             return nId;
         }},
        {"claimant not spawned",
         [&]
         {
             const int nId = f->CreatePickup(1240, 0, 1, 1.0f, 0.0f, 10.0f, 255, 0);
             m_pPlayer->m_bSpawned = false;
             return nId;
         }},
    };
    for (const SClaimCase& test : aCases)
    {
        SCOPED_TRACE(test.szWhat);
        const int nId = test.prepare();
        Claim(Server().m_pPickupPool->Get(nId)->GetKey());
        EXPECT_TRUE(Events("OnPickup").empty());
        f->DeletePickup(nId);
        m_pPlayer->m_vPosition = Vector(0.0f, 0.0f, 10.0f);
        m_pPlayer->m_bSpawned = true;
        Host().ClearLog();
        Peer().ClearSent();
    }
}

TEST_F(PickupTest, TimerSlotsAndIdAnswers)
{
    const int nId = F()->CreatePickup(1240, 3, 7, 1.0f, 2.0f, 3.0f, 200, 1);
    PluginFuncs* f = F();
    EXPECT_EQ(f->GetPickupAutoTimer(nId), 0);
    EXPECT_EQ(f->SetPickupAutoTimer(nId, 5000), 1);
    EXPECT_EQ(f->GetPickupAutoTimer(nId), 5000);
    EXPECT_EQ(f->SetPickupAutoTimer(nId, -5), 1);
    EXPECT_EQ(f->GetPickupAutoTimer(nId), 0);
    EXPECT_EQ(f->GetPickupAutoTimer(nId + 1), -1);
    EXPECT_EQ(f->GetPickupWorld(nId), 3);
    EXPECT_EQ(f->GetPickupModel(nId), 1240);
    EXPECT_EQ(f->GetPickupQuantity(nId), 7);
    EXPECT_EQ(f->GetPickupAlpha(nId), 200);

    float fx = 0, fy = 0, fz = 0;
    const std::pair<const char*, std::function<int(int)>> aCases[] = {
        {"DeletePickup", [&](int id) { return f->DeletePickup(id); }},
        {"IsPickupStreamedForPlayer", [&](int id) { return f->IsPickupStreamedForPlayer(id, 0); }},
        {"SetPickupWorld", [&](int id) { return f->SetPickupWorld(id, 1); }},
        {"GetPickupWorld", [&](int id) { return f->GetPickupWorld(id) + 1; }},
        {"GetPickupAlpha", [&](int id) { return f->GetPickupAlpha(id); }},
        {"SetPickupAlpha", [&](int id) { return f->SetPickupAlpha(id, 1); }},
        {"IsPickupAutomatic", [&](int id) { return f->IsPickupAutomatic(id); }},
        {"SetPickupIsAutomatic", [&](int id) { return f->SetPickupIsAutomatic(id, 1); }},
        {"SetPickupAutoTimer", [&](int id) { return f->SetPickupAutoTimer(id, 1); }},
        {"RefreshPickup", [&](int id) { return f->RefreshPickup(id); }},
        {"GetPickupPosition", [&](int id) { return f->GetPickupPosition(id, &fx, &fy, &fz); }},
        {"SetPickupPosition", [&](int id) { return f->SetPickupPosition(id, 1, 1, 1); }},
        {"GetPickupModel", [&](int id) { return f->GetPickupModel(id); }},
        {"GetPickupQuantity", [&](int id) { return f->GetPickupQuantity(id); }},
    };
    for (const auto& [szSlot, fnCall] : aCases)
        for (int nBad : {nId + 1, 2000, -1})
            EXPECT_EQ(fnCall(nBad), 0) << szSlot << " " << nBad;

    int nCreated = 1;
    while (f->CreatePickup(1240, 0, 1, 0.0f, 0.0f, 0.0f, 255, 0) >= 0)
        ++nCreated;
    EXPECT_EQ(nCreated, 2000);
}

class ElementTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        GetClientElements()->Clear();
        ASSERT_NE(Join(0, "First"), nullptr);
        ASSERT_NE(Join(1, "Second"), nullptr);
        Peer().ClearSent();
    }
    void TearDown() override
    {
        GetClientElements()->Clear();
        CPlayerTest::TearDown();
    }

    testclient::STextElementShow ShownTo(int nSlot)
    {
        testclient::STextElementShow shown;
        auto received = ReceivedBy(nSlot, testclient::SV_TEXT_ELEMENT_SHOW);
        EXPECT_FALSE(received.empty());
        if (!received.empty())
            EXPECT_TRUE(testclient::DecodeTextElementShow(received.back(), shown));
        return shown;
    }
};

TEST_F(ElementTest, IdsAreChosenReplacedAndBounded)
{
    PluginFuncs* f = F();
    EXPECT_EQ(f->CreateTextElement(-1, "a", 1, 2, 3, 4, 1.0f, 0), 0);
    EXPECT_EQ(f->CreateTextElement(-1, "b", 1, 2, 3, 4, 1.0f, 0), 1);
    EXPECT_EQ(f->CreateTextElement(128, "c", 1, 2, 3, 4, 1.0f, 0), -1);
    EXPECT_EQ(f->CreateTextElement(-2, "c", 1, 2, 3, 4, 1.0f, 0), -1);
    EXPECT_EQ(f->CreateNamedElement(256, "n", 1, 2, 3), -1);
    EXPECT_EQ(f->CreateNamedElement(255, "n", 1, 2, 3), 255);
    EXPECT_EQ(Peer().Sent().size(), 0u);
    // Reusing an id in use hides the old element from everybody first.
    EXPECT_EQ(f->CreateTextElement(0, "again", 1, 2, 3, 4, 1.0f, 0), 0);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_TEXT_ELEMENT_HIDE).size(), 1u);
    EXPECT_EQ(ReceivedBy(1, testclient::SV_TEXT_ELEMENT_HIDE).size(), 1u);
    EXPECT_EQ(f->DestroyTextElement(0), 1);
    EXPECT_EQ(f->DestroyTextElement(0), 0);
    EXPECT_EQ(f->ShowTextElement(0, 0), 0);
    EXPECT_EQ(f->ShowTextElement(1, 7), 0);
    EXPECT_EQ(f->SetNamedElementValue3(255, 7, 99), 0);
    EXPECT_EQ(f->SetNamedElementValue3(255, -1, 9), 1);
    EXPECT_EQ(f->CreateTextElement(-1, "reused", 1, 2, 3, 4, 1.0f, 0), 0);

    // Texts are cut so that the length byte, which counts the zero, fits.
    EXPECT_EQ(f->CreateTextElement(5, std::string(300, 'x').c_str(), 1, 2, 3, 4, 1.0f, 0), 5);
    EXPECT_EQ(f->ShowTextElement(5, 0), 1);
    EXPECT_EQ(ShownTo(0).strText.size(), 254u);
}

// A setter for one player leaves the stored values alone; one for everybody
// stores them.
TEST_F(ElementTest, ValuesAreStoredOnlyWhenSentToEverybody)
{
    PluginFuncs* f = F();
    ASSERT_EQ(f->CreateTextElement(3, "score", 10, 20, 30, 70000, 2.5f, 1), 3);
    EXPECT_EQ(f->SetTextElementValues12(3, 0, 11, 21), 1);
    EXPECT_EQ(f->SetTextElementScale(3, 0, 9.0f), 1);
    EXPECT_EQ(f->ShowTextElement(3, 1), 1);
    testclient::STextElementShow shown = ShownTo(1);
    EXPECT_EQ(shown.strText, "score");
    EXPECT_EQ(shown.asValue[0], 10);
    EXPECT_EQ(shown.asValue[3], static_cast<int16_t>(70000));
    EXPECT_EQ(shown.fScale, 2.5f);
    EXPECT_EQ(shown.byFlag, 1);

    EXPECT_EQ(f->SetTextElementValues12(3, -1, 12, 22), 1);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_TEXT_ELEMENT_VALUES12).size(), 2u);
    EXPECT_EQ(ReceivedBy(1, testclient::SV_TEXT_ELEMENT_VALUES12).size(), 1u);
    EXPECT_EQ(f->ShowTextElement(3, -1), 1);
    EXPECT_EQ(ShownTo(0).asValue[1], 22);
    EXPECT_EQ(ShownTo(1).asValue[0], 12);
    EXPECT_EQ(GetClientElements()->Get(CClientElements::FAMILY_TEXT, 3)->fScale, 2.5f);
}
} // namespace
