#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "BitStream.h"
#include "ClientMessages.h"
#include "IRefCounter.h"
#include "net/CNetwork.h"
#include "net/CSessionHandlers.h"
#include "net/Guards.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

using nettest::CServerHarness;
using nettest::JoinRequestBytes;
using nettest::ValidJoinRequestBytes;
using testclient::SJoinRequest;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
SJoinRequest Request(const char* szName)
{
    SJoinRequest request;
    request.strName = szName;
    return request;
}

std::vector<uint8_t> AdminLoginBytes(const std::string& strPassword)
{
    RakNet::BitStream stream;
    testclient::EncodeAdminLogin(stream, strPassword);
    return std::vector<uint8_t>(stream.GetData(),
                                stream.GetData() + BITS_TO_BYTES(stream.GetNumberOfBitsUsed()));
}

// Chat line 202: colour, 32-bit length, text.
struct SChatLine
{
    uint32_t uiColour = 0;
    std::string strText;
};

bool DecodeChatLine(const std::vector<uint8_t>& payload, SChatLine& line)
{
    RakNet::BitStream stream(const_cast<uint8_t*>(payload.data()), static_cast<unsigned int>(payload.size()),
                             false);
    uint32_t uiLength = 0;
    if (!stream.Read(line.uiColour) || !stream.Read(uiLength) || uiLength > payload.size())
        return false;
    line.strText.resize(uiLength);
    return uiLength == 0 || stream.Read(&line.strText[0], uiLength);
}

class SessionTest : public ::testing::Test
{
protected:
    SessionTest() : m_harness("", ORVN_TEST_PLUGIN_DIR) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_harness.Started());
        m_harness.TakeOutput();
    }

    // The refusal code sent to the slot, or -1 when none was sent.
    int RefusalCode(int nSlot)
    {
        auto refusals = m_harness.Peer().SentTo(nSlot, ID_JOIN_REFUSED);
        if (refusals.empty())
            return -1;
        auto payload = refusals.back().Payload();
        return payload.size() == 1 ? payload[0] : -2;
    }

    // Connects the slot and sends the request; returns the refusal code (0 accepted).
    int TryJoin(int nSlot, const std::vector<uint8_t>& bytes)
    {
        m_harness.Connect(nSlot);
        m_harness.Peer().ClearSent();
        m_harness.Deliver(nSlot, bytes);
        int nCode = RefusalCode(nSlot);
        if (nCode < 0 && m_harness.Server().GetConnectionState(nSlot) == CONNECTION_JOINED)
            return 0;
        return nCode;
    }

    CPlayer* Player(int nSlot) { return m_harness.Server().m_pPlayerPool->Get(nSlot); }

    CServerHarness m_harness;
};
} // namespace

// ---- Guards ----

TEST_F(SessionTest, JoinedGuardKicksSilentlyWithTheLineOfTheState)
{
    m_harness.Connect(4);
    m_harness.Peer().ClearSent();
    EXPECT_FALSE(PassesJoinedGuard(4));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 4, tried to send a non-join packet when not yet joined.\n"));
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_FALSE(m_harness.Peer().Closed()[0].bNotify);
    EXPECT_TRUE(m_harness.Peer().Sent().empty());
    EXPECT_EQ(m_harness.Server().GetConnectionState(4), CONNECTION_NONE);

    EXPECT_FALSE(PassesJoinedGuard(5));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 5, no record of such connection ID exists.\n"));

    ASSERT_TRUE(m_harness.Join(6, "Guarded"));
    m_harness.TakeOutput();
    EXPECT_TRUE(PassesJoinedGuard(6));
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("Kicking")));
    EXPECT_NE(Player(6), nullptr);
}

TEST_F(SessionTest, ConnectedGuardKicksSilentlyWithTheLineOfTheState)
{
    EXPECT_FALSE(PassesConnectedGuard(3));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 3, no record of such connection ID exists (when processing join "
                          "packet).\n"));

    ASSERT_TRUE(m_harness.Join(2, "Twice"));
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();
    m_harness.Deliver(2, ValidJoinRequestBytes("Twice"));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 2, tried to send join packet when already joined.\n"));
    // Silent: neither the kicked notice nor a disconnection notice.
    EXPECT_TRUE(m_harness.Peer().SentWithId(178).empty());
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_FALSE(m_harness.Peer().Closed()[0].bNotify);
    EXPECT_EQ(Player(2), nullptr);
    EXPECT_EQ(m_harness.Server().GetConnectionState(2), CONNECTION_NONE);
}

TEST_F(SessionTest, MessagesBeforeJoiningAreNotProcessed)
{
    m_harness.Connect(1);
    m_harness.TakeOutput();
    m_harness.Deliver(1, AdminLoginBytes("changeme"));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 1, tried to send a non-join packet when not yet joined.\n"));
    EXPECT_TRUE(m_harness.Peer().SentWithId(202).empty());
}

// ---- Connection events ----

TEST_F(SessionTest, NewConnectionIsConnectedWithA2500MsDeadline)
{
    m_harness.Tick(40);
    uint32_t uiNow = m_harness.Server().m_uiNow;
    m_harness.Peer().InjectNewConnection(9);
    m_harness.Tick();
    EXPECT_EQ(m_harness.Server().GetConnectionState(9), CONNECTION_CONNECTED);
    EXPECT_EQ(m_harness.Server().m_auiJoinDeadline[9], uiNow + 2500);
}

TEST_F(SessionTest, EndedConnectionRemovesThePlayerWithTheReasonOfTheEvent)
{
    struct SCase
    {
        bool bNotice;
        uint8_t byReason;
    };
    for (SCase c : {SCase{true, DISCONNECT_LEFT}, SCase{false, DISCONNECT_TIMEOUT}})
    {
        ASSERT_TRUE(m_harness.Join(7, "Leaver"));
        CPlayer* pPlayer = Player(7);
        // Held, so the record survives the removal long enough to be read.
        CEntityLock lock(pPlayer);
        if (c.bNotice)
            m_harness.Peer().InjectDisconnection(7);
        else
            m_harness.Peer().InjectConnectionLost(7);
        m_harness.Tick();
        EXPECT_TRUE(pPlayer->IsMarkedForDeletion());
        EXPECT_EQ(pPlayer->GetDisconnectReason(), c.byReason);
        EXPECT_EQ(m_harness.Server().GetConnectionState(7), CONNECTION_NONE);
        EXPECT_EQ(m_harness.Server().m_auiJoinDeadline[7], 0u);
        EXPECT_FALSE(lock.Release());
        EXPECT_EQ(Player(7), nullptr);
    }
}

TEST_F(SessionTest, EndedConnectionWithoutAPlayerClearsTheState)
{
    m_harness.Connect(8);
    m_harness.Peer().InjectConnectionLost(8);
    m_harness.Tick();
    EXPECT_EQ(m_harness.Server().GetConnectionState(8), CONNECTION_NONE);
    EXPECT_EQ(m_harness.Server().m_auiJoinDeadline[8], 0u);
}

// ---- Join request ----

TEST_F(SessionTest, AcceptedJoinCreatesThePlayerAndAsksThePluginsWithTheAddress)
{
    EXPECT_EQ(TryJoin(3, ValidJoinRequestBytes("Alice")), 0);
    ASSERT_NE(Player(3), nullptr);
    EXPECT_STREQ(Player(3)->GetName(), "Alice");
    EXPECT_STREQ(Player(3)->GetUniqueId(), "test-client-unique-id");
    EXPECT_EQ(m_harness.Server().GetConnectionState(3), CONNECTION_JOINED);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("probe: incoming [Alice] from [10.0.0.4]"));
    EXPECT_TRUE(m_harness.Peer().Closed().empty());
}

TEST_F(SessionTest, RefusalIsMessage175HighReliableChannel0ThenAKickWithNotice)
{
    SJoinRequest request = Request("Bob");
    request.uiMagic = 1;
    EXPECT_EQ(TryJoin(5, JoinRequestBytes(request)), JOIN_WRONG_MAGIC);
    auto refusals = m_harness.Peer().SentTo(5, ID_JOIN_REFUSED);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].bytes, (std::vector<uint8_t>{175, 1}));
    EXPECT_EQ(refusals[0].nPriority, NET_HIGH_PRIORITY);
    EXPECT_EQ(refusals[0].nReliability, NET_RELIABLE);
    EXPECT_EQ(refusals[0].nChannel, 0);
    EXPECT_FALSE(refusals[0].bBroadcast);
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_TRUE(m_harness.Peer().Closed()[0].bNotify);
    EXPECT_TRUE(m_harness.Peer().SentWithId(178).empty());
    EXPECT_EQ(m_harness.Server().GetConnectionState(5), CONNECTION_NONE);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 5, wrong magic code.\n"));
}

TEST_F(SessionTest, VersionBandIs66100To66109AndVersionIsCheckedBeforeMagic)
{
    SJoinRequest request = Request("Versioned");
    request.uiVersion = 66109;
    EXPECT_EQ(TryJoin(0, JoinRequestBytes(request)), 0);

    request.strName = "Newer";
    request.uiVersion = 66110;
    EXPECT_EQ(TryJoin(1, JoinRequestBytes(request)), JOIN_VERSION_NEWER);
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking connecting player at ID 1, version is 66110 (current "
                          "66100), using newer version.\n"));

    request.uiVersion = 66099;
    request.uiMagic = 0xDEADBEEF;
    EXPECT_EQ(TryJoin(2, JoinRequestBytes(request)), JOIN_VERSION_OLDER);
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking connecting player at ID 2, version is 66099 (current "
                          "66100), using older version.\n"));
}

TEST_F(SessionTest, NameChecksInOrderLengthThenValidityThenUniqueness)
{
    // 24 characters, invalid and already in use: the length decides.
    ASSERT_TRUE(m_harness.Join(0, "Taken"));
    std::string strLong(24, '$');
    EXPECT_EQ(TryJoin(1, ValidJoinRequestBytes(strLong.c_str())), JOIN_BAD_NAME);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 1, nickname too long.\n"));

    EXPECT_EQ(TryJoin(2, ValidJoinRequestBytes("X")), JOIN_BAD_NAME);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 2, invalid nickname.\n"));

    EXPECT_EQ(TryJoin(3, ValidJoinRequestBytes("tAKEN")), JOIN_NAME_IN_USE);
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking connecting player at ID 3, name already in use.\n"));

    // 23 characters pass; rewritten characters make a name that is then in use.
    EXPECT_EQ(TryJoin(4, ValidJoinRequestBytes(std::string(23, 'n').c_str())), 0);
    ASSERT_TRUE(m_harness.Join(5, "a b"));
    EXPECT_STREQ(Player(5)->GetName(), "a_b");
    EXPECT_EQ(TryJoin(6, ValidJoinRequestBytes("a_b")), JOIN_NAME_IN_USE);
}

TEST_F(SessionTest, UniqueIdIsRequired)
{
    SJoinRequest request = Request("NoId");
    request.bHasUniqueId = false;
    EXPECT_EQ(TryJoin(3, JoinRequestBytes(request)), JOIN_NO_UNIQUE_ID);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 3, no unique id.\n"));

    // An empty id with the flag set is an id.
    request.bHasUniqueId = true;
    request.strUniqueId = "";
    EXPECT_EQ(TryJoin(4, JoinRequestBytes(request)), 0);
}

TEST_F(SessionTest, OverlongPasswordAndUniqueIdAreCut)
{
    SJoinRequest request = Request("Lengthy");
    request.strPassword = std::string(63, 'p');
    request.strUniqueId = std::string(41, 'u');
    EXPECT_EQ(TryJoin(3, JoinRequestBytes(request)), 0);
}

TEST_F(SessionTest, PluginRefusalIsCode7WithTheName)
{
    EXPECT_EQ(TryJoin(3, ValidJoinRequestBytes("RefusedBob")), JOIN_PLUGIN_REFUSED);
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking connecting player at ID 3, user 'RefusedBob' login failed.\n"));
    EXPECT_EQ(Player(3), nullptr);
}

TEST_F(SessionTest, PlayerThatCannotBeCreatedIsCode6)
{
    m_harness.Connect(3);
    // The slot is already taken in the pool (a stale player the network forgot).
    ASSERT_TRUE(m_harness.Server().m_pPlayerPool->New(3, "Stale", "id"));
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();
    m_harness.Deliver(3, ValidJoinRequestBytes("Fresh"));
    EXPECT_EQ(RefusalCode(3), JOIN_SLOT_OR_ERROR);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 3, unknown error.\n"));
}

// The transport keeps a joined connection when it must make room, and lets
// newcomers past the player limit; the join keeps the limit.
TEST_F(SessionTest, JoinedConnectionsAreKeptAndAJoinPastThePlayerLimitIsCode6)
{
    m_harness.Server().SetMaxPlayers(2);
    EXPECT_EQ(TryJoin(0, ValidJoinRequestBytes("First")), 0);
    EXPECT_EQ(TryJoin(5, ValidJoinRequestBytes("Second")), 0);
    EXPECT_EQ(m_harness.Peer().m_keptConnections, (std::vector<int>{0, 5}));
    m_harness.TakeOutput();
    EXPECT_EQ(TryJoin(7, ValidJoinRequestBytes("Third")), JOIN_SLOT_OR_ERROR);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Kicking connecting player at ID 7, server is full.\n"));
    EXPECT_EQ(Player(7), nullptr);
    EXPECT_EQ(m_harness.Peer().m_keptConnections.size(), 2u);
}

TEST_F(SessionTest, SlotOutOfRangeIsRefusedBeforeAnythingIsRead)
{
    const uint8_t abyGarbage[3] = {1, 2, 3};
    EXPECT_EQ(CSessionHandlers::ProcessJoinRequest(100, abyGarbage, 3), JOIN_SLOT_OR_ERROR);
    EXPECT_EQ(CSessionHandlers::ProcessJoinRequest(255, nullptr, 0), JOIN_SLOT_OR_ERROR);
    std::string strOutput = m_harness.TakeOutput();
    EXPECT_THAT(strOutput, HasSubstr("Kicking connecting player at ID 100, ID is out of range.\n"));
    EXPECT_THAT(strOutput, HasSubstr("Kicking connecting player at ID 255, ID is out of range.\n"));
    EXPECT_EQ(m_harness.Peer().SentTo(100, ID_JOIN_REFUSED).size(), 1u);

    // Through the handler, such a slot never has a connection: the guard stops it.
    m_harness.Deliver(100, ValidJoinRequestBytes("Outside"));
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Kicking player ID 100, no record of such connection ID exists "
                          "(when processing join packet)."));
}

// Every prefix of a valid request is refused with the code of the first field
// it lacks, and nothing is read past the end (the sanitizers watch).
TEST_F(SessionTest, TruncatedRequestsAreRefusedByTheFieldTheyLack)
{
    SJoinRequest request = Request("Cutter");
    request.strPassword = "pw";
    request.strUniqueId = "uid";
    std::vector<uint8_t> full = JoinRequestBytes(request);
    // Payload layout: 4 magic, 4 version, 1 + 6 name, 1 + 2 password, then the bit-packed rest.
    const size_t nHeaderEnd = 1 + 8;
    const size_t nNameEnd = nHeaderEnd + 1 + 6;
    for (size_t nLength = 1; nLength < full.size(); ++nLength)
    {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(nLength));
        int nExpected = nLength < nHeaderEnd ? JOIN_WRONG_MAGIC
                        : nLength < nNameEnd ? JOIN_BAD_NAME
                                             : JOIN_NO_UNIQUE_ID;
        int nSlot = static_cast<int>(nLength % 50);
        EXPECT_EQ(TryJoin(nSlot, cut), nExpected) << "length " << nLength;
        EXPECT_EQ(Player(nSlot), nullptr);
    }
    EXPECT_EQ(TryJoin(45, full), 0);
}

TEST_F(SessionTest, JoinRequestWithEmptyPayloadIsRefused)
{
    EXPECT_EQ(TryJoin(0, {ID_JOIN_REQUEST}), JOIN_WRONG_MAGIC);
}

// ---- Quit ----

TEST_F(SessionTest, QuitRemovesThePlayerWithItsReasonAndClosesWithNotice)
{
    ASSERT_TRUE(m_harness.Join(4, "Quitter"));
    CPlayer* pPlayer = Player(4);
    CEntityLock lock(pPlayer);
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();
    m_harness.Deliver(4, {ID_QUIT, 3});
    EXPECT_THAT(m_harness.TakeOutput(),
                HasSubstr("Disconnecting player 'Quitter' at ID 4, sent quit packet with reason 3.\n"));
    EXPECT_EQ(pPlayer->GetDisconnectReason(), 3);
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_TRUE(m_harness.Peer().Closed()[0].bNotify);
    // The player was already leaving: no kicked notice.
    EXPECT_TRUE(m_harness.Peer().SentWithId(178).empty());
    EXPECT_EQ(m_harness.Server().GetConnectionState(4), CONNECTION_NONE);
    EXPECT_FALSE(lock.Release());
}

// ---- Administrator messages ----

TEST_F(SessionTest, AdminLoginAnswersWithTheLineOfTheResult)
{
    ASSERT_TRUE(m_harness.Join(2, "Admin"));
    m_harness.Peer().ClearSent();
    m_harness.Deliver(2, AdminLoginBytes("changemE"));
    m_harness.Deliver(2, AdminLoginBytes("changeme"));
    auto lines = m_harness.Peer().SentTo(2, 202);
    ASSERT_EQ(lines.size(), 2u);
    SChatLine line;
    ASSERT_TRUE(DecodeChatLine(lines[0].Payload(), line));
    EXPECT_EQ(line.uiColour, 0xFFFFFF00u);
    EXPECT_EQ(line.strText, "*> Failed to log in as an admin. <*");
    ASSERT_TRUE(DecodeChatLine(lines[1].Payload(), line));
    EXPECT_EQ(line.uiColour, 0xFFFFFFFFu);
    EXPECT_EQ(line.strText, "*> Logged in as an admin. <*");
    EXPECT_EQ(lines[1].nPriority, NET_HIGH_PRIORITY);
    EXPECT_EQ(lines[1].nReliability, NET_RELIABLE);
    EXPECT_TRUE(Player(2)->IsAdmin());
}

TEST_F(SessionTest, AdminLoginComparesWholeTextsAndCapsTheLength)
{
    ASSERT_TRUE(m_harness.Join(2, "Admin"));
    m_harness.Peer().ClearSent();
    // A prefix or a longer text is not the password.
    m_harness.Deliver(2, AdminLoginBytes("change"));
    m_harness.Deliver(2, AdminLoginBytes("changeme!"));
    // A length that claims more than the message carries.
    m_harness.Deliver(2, {ID_ADMIN_LOGIN, 0, 0, 0, 200, 'c'});
    m_harness.Deliver(2, {ID_ADMIN_LOGIN, 0});
    EXPECT_FALSE(Player(2)->IsAdmin());
    auto lines = m_harness.Peer().SentTo(2, 202);
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& sent : lines)
    {
        SChatLine line;
        ASSERT_TRUE(DecodeChatLine(sent.Payload(), line));
        EXPECT_EQ(line.strText, "*> Failed to log in as an admin. <*");
        EXPECT_FALSE(sent.bBroadcast);
    }

    // The first 127 bytes of a longer text are compared.
    std::string strLong(127, 'k');
    m_harness.Server().SetAdminPassword(strLong.c_str()); // stored cut to 63
    m_harness.Deliver(2, AdminLoginBytes(strLong + "tail"));
    EXPECT_FALSE(Player(2)->IsAdmin());

    m_harness.Server().SetAdminPassword("");
    m_harness.Deliver(2, AdminLoginBytes(""));
    EXPECT_TRUE(Player(2)->IsAdmin());
}

TEST_F(SessionTest, AdminKickNeedsAnAdministratorAndClosesTheTargetSlot)
{
    ASSERT_TRUE(m_harness.Join(0, "Boss"));
    ASSERT_TRUE(m_harness.Join(1, "Victim"));
    m_harness.TakeOutput();
    m_harness.Deliver(0, {ID_ADMIN_KICK, 1});
    EXPECT_NE(Player(1), nullptr);

    Player(0)->SetAdmin(true);
    m_harness.Peer().ClearSent();
    m_harness.Deliver(0, {ID_ADMIN_KICK, 1});
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Admin 'Boss' (0) kicked player 'Victim' (1).\n"));
    EXPECT_EQ(Player(1), nullptr);
    auto notices = m_harness.Peer().SentTo(1, 178);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Payload(), std::vector<uint8_t>{0});
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_EQ(m_harness.Peer().Closed()[0].nSlot, 1);
    EXPECT_TRUE(m_harness.Peer().Closed()[0].bNotify);

    // An empty slot: nothing printed, the slot's connection still closed.
    m_harness.Connect(9);
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();
    m_harness.Deliver(0, {ID_ADMIN_KICK, 9});
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("kicked")));
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_EQ(m_harness.Peer().Closed()[0].nSlot, 9);
    EXPECT_EQ(m_harness.Server().GetConnectionState(9), CONNECTION_NONE);

    // A kick without its target byte, or of a slot beyond the table, harms nothing.
    m_harness.Deliver(0, {ID_ADMIN_KICK});
    m_harness.Deliver(0, {ID_ADMIN_KICK, 250});
    EXPECT_NE(Player(0), nullptr);
}

TEST_F(SessionTest, AdminBanBansTheAddressTellsThePlayerAndRemovesIt)
{
    ASSERT_TRUE(m_harness.Join(0, "Judge"));
    ASSERT_TRUE(m_harness.Join(1, "Banned"));
    m_harness.Deliver(0, {ID_ADMIN_BAN, 1});
    EXPECT_NE(Player(1), nullptr);
    EXPECT_TRUE(m_harness.Peer().m_banList.empty());

    Player(0)->SetAdmin(true);
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();
    m_harness.Deliver(0, {ID_ADMIN_BAN, 1});
    EXPECT_EQ(Player(1), nullptr);
    EXPECT_EQ(m_harness.Peer().m_banList.count("10.0.0.2"), 1u);
    auto notices = m_harness.Peer().SentTo(1, 178);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Payload(), std::vector<uint8_t>{1});
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_TRUE(m_harness.Peer().Closed()[0].bNotify);
    EXPECT_EQ(m_harness.Server().GetConnectionState(1), CONNECTION_NONE);
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("Admin")));

    // A ban of an empty slot bans nobody and only closes the slot.
    m_harness.Deliver(0, {ID_ADMIN_BAN, 30});
    EXPECT_EQ(m_harness.Peer().m_banList.size(), 1u);
}
