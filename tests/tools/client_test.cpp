// The test client's encoders and decoders, checked bit for bit without a
// server, and its connection handling against a bare RakNet peer.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "BitStream.h"
#include "MessageIdentifiers.h"
#include "RakPeerInterface.h"

#include "CMessageBuilder.h"
#include "CPayloadReader.h"
#include "CQueryClient.h"
#include "CTestClient.h"

using namespace testclient;

namespace
{

std::vector<uint8_t> Bytes(const RakNet::BitStream& stream)
{
    return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
}

std::vector<uint8_t> Bytes(const CMessageBuilder& builder)
{
    return Bytes(builder.Stream());
}

SReceived Message(int nId, std::vector<uint8_t> payload)
{
    SReceived msg;
    msg.id = nId;
    msg.payload = std::move(payload);
    return msg;
}

template <typename T> std::vector<uint8_t> ReversedMemory(const T& record)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(std::make_reverse_iterator(p + sizeof(T)), std::make_reverse_iterator(p));
}

} // namespace

TEST(ClientEncoding, JoinRequestFieldsReadBackInOrderWithUnalignedTail)
{
    SJoinRequest request;
    request.strName = "Alice";
    request.strPassword = "pw";
    request.bHasUniqueId = true;
    request.strUniqueId = "uid-123";
    RakNet::BitStream stream;
    EncodeJoinRequest(stream, request);

    // 1 id + 4 magic + 4 version + 1 + 5 + 1 + 2, then 1 bit, then 1 + 7 bytes.
    EXPECT_EQ(stream.GetNumberOfBitsUsed(), (18u + 8u) * 8u + 1u);
    const std::vector<uint8_t> bytes = Bytes(stream);
    const std::vector<uint8_t> head = {152,  0x04, 0xE6, 0xF2, 0x18, 0x00, 0x01, 0x02,
                                       0x34, 5,    'A',  'l',  'i',  'c',  'e'};
    ASSERT_GE(bytes.size(), head.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + head.size()), head);

    uint8_t byId = 0, byLength = 0;
    uint32_t uiMagic = 0, uiVersion = 0;
    char szText[16] = {};
    bool bFlag = false;
    ASSERT_TRUE(stream.Read(byId) && stream.Read(uiMagic) && stream.Read(uiVersion));
    EXPECT_EQ(byId, 152);
    EXPECT_EQ(uiMagic, 0x04E6F218u);
    EXPECT_EQ(uiVersion, 66100u);
    ASSERT_TRUE(stream.Read(byLength) && stream.Read(szText, byLength));
    EXPECT_EQ(std::string(szText, byLength), "Alice");
    ASSERT_TRUE(stream.Read(byLength) && stream.Read(szText, byLength));
    EXPECT_EQ(std::string(szText, byLength), "pw");
    ASSERT_TRUE(stream.Read(bFlag));
    EXPECT_TRUE(bFlag);
    ASSERT_TRUE(stream.Read(byLength) && stream.Read(szText, byLength));
    EXPECT_EQ(std::string(szText, byLength), "uid-123");
    EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
}

TEST(ClientEncoding, JoinRequestDeclaredLengthsOverrideButOnlyTextBytesFollow)
{
    SJoinRequest request;
    request.uiMagic = 1;
    request.uiVersion = 66109;
    request.strName = "Bob";
    request.nNameLength = 30;
    request.bHasUniqueId = false;
    request.strUniqueId = "";
    RakNet::BitStream stream;
    EncodeJoinRequest(stream, request);
    const std::vector<uint8_t> bytes = Bytes(stream);
    ASSERT_GE(bytes.size(), 14u);
    EXPECT_EQ(bytes[9], 30);
    EXPECT_EQ(std::string(bytes.begin() + 10, bytes.begin() + 13), "Bob");
    EXPECT_EQ(bytes[13], 0); // empty password
    // Flag bit 0 and an empty unique id: 9 more bits after the password length.
    EXPECT_EQ(stream.GetNumberOfBitsUsed(), 14u * 8u + 9u);
}

TEST(ClientEncoding, MessageIdentifiersUseTwoBytesFrom256)
{
    const std::pair<int, std::vector<uint8_t>> cases[] = {
        {152, {152}}, {255, {255}}, {256, {134, 0}}, {516, {135, 4}}, {0x0AFF, {143, 0xFF}}};
    for (const auto& [nId, expected] : cases)
    {
        RakNet::BitStream stream;
        WriteMessageId(stream, nId);
        EXPECT_EQ(Bytes(stream), expected) << nId;

        SReceived parsed;
        ASSERT_TRUE(ParseReceived(expected.data(), expected.size(), parsed));
        EXPECT_EQ(parsed.id, nId);
        EXPECT_TRUE(parsed.payload.empty());
    }
}

TEST(ClientEncoding, ParsingHandlesTimestampsAndRefusesTruncatedIdentifiers)
{
    SReceived msg;
    const uint8_t stamped[] = {27, 0x00, 0x00, 0x01, 0x02, 152, 7, 8};
    ASSERT_TRUE(ParseReceived(stamped, sizeof(stamped), msg));
    EXPECT_EQ(msg.id, 152);
    EXPECT_TRUE(msg.bTimestamped);
    EXPECT_EQ(msg.uiTimestamp, 0x0102u);
    EXPECT_EQ(msg.payload, (std::vector<uint8_t>{7, 8}));

    const uint8_t shortStamp[] = {27, 0, 0};
    const uint8_t loneHighByte[] = {140};
    const uint8_t stampedLoneHighByte[] = {27, 0, 0, 0, 0, 136};
    EXPECT_FALSE(ParseReceived(shortStamp, sizeof(shortStamp), msg));
    EXPECT_FALSE(ParseReceived(loneHighByte, sizeof(loneHighByte), msg));
    EXPECT_FALSE(ParseReceived(stampedLoneHighByte, sizeof(stampedLoneHighByte), msg));
    EXPECT_FALSE(ParseReceived(nullptr, 0, msg));
}

TEST(ClientEncoding, SyncRecordsTravelAsWholeReversedBlocks)
{
    wire::SOnFootRecord onFoot = {};
    uint8_t* p = reinterpret_cast<uint8_t*>(&onFoot);
    for (size_t i = 0; i < sizeof(onFoot); ++i)
    {
        p[i] = static_cast<uint8_t>(i + 1);
    }
    RakNet::BitStream stream;
    EncodeOnFootSync(stream, 0x11223344u, onFoot);
    std::vector<uint8_t> expected = {147, 0x11, 0x22, 0x33, 0x44};
    const std::vector<uint8_t> reversed = ReversedMemory(onFoot);
    expected.insert(expected.end(), reversed.begin(), reversed.end());
    EXPECT_EQ(Bytes(stream), expected);
    EXPECT_EQ(expected[5], 40); // the last memory byte (sync flags) goes first

    // A relay is the slot and the same block; it decodes back to the same memory.
    std::vector<uint8_t> relay = {9};
    relay.insert(relay.end(), reversed.begin(), reversed.end());
    SOnFootRelay decoded;
    ASSERT_TRUE(DecodeOnFootRelay(Message(147, relay), decoded));
    EXPECT_EQ(decoded.bySlot, 9);
    EXPECT_EQ(std::memcmp(&decoded.onFoot, &onFoot, sizeof(onFoot)), 0);
}

TEST(ClientEncoding, DriverAndPassengerSyncCarryStampThenBlocks)
{
    wire::SDriverRecord driver = {0x0102, 7, 30, 100, 50, 24};
    wire::SVehicleRecord vehicle = {};
    vehicle.vPosition = {1.0f, 2.0f, 3.0f};
    vehicle.usSyncWord = 0xBEEF;
    RakNet::BitStream stream;
    EncodeDriverSync(stream, 5, driver, vehicle);
    ASSERT_EQ(stream.GetNumberOfBytesUsed(), 1u + 4u + 9u + 51u);
    const std::vector<uint8_t> bytes = Bytes(stream);
    EXPECT_EQ(bytes[0], 149);
    EXPECT_EQ(bytes[4], 5);
    EXPECT_EQ(bytes[5], 24);       // weapon, the driver record's last byte
    EXPECT_EQ(bytes[13], 0x02);    // keys low byte, its first
    EXPECT_EQ(bytes[14], 0xBE);    // sync word high byte, the vehicle record's last
    EXPECT_EQ(bytes.back(), 0x00); // position x low byte, its first (1.0f = 0x3F800000)
    EXPECT_EQ(bytes[bytes.size() - 4], 0x3F);

    wire::SPassengerRecord passenger = {12, 90, 10, 3};
    RakNet::BitStream passengerStream;
    EncodePassengerSync(passengerStream, 1, passenger);
    EXPECT_EQ(Bytes(passengerStream), (std::vector<uint8_t>{150, 0, 0, 0, 1, 3, 10, 90, 0, 12}));
}

TEST(ClientEncoding, TextMessagesUseTheirLengthWidths)
{
    RakNet::BitStream chat;
    EncodeChat(chat, "hi");
    EXPECT_EQ(Bytes(chat), (std::vector<uint8_t>{162, 0, 2, 'h', 'i'}));

    RakNet::BitStream pm;
    EncodePrivateMessage(pm, 4, "yo");
    EXPECT_EQ(Bytes(pm), (std::vector<uint8_t>{163, 4, 0, 2, 'y', 'o'}));

    RakNet::BitStream command;
    EncodeCommand(command, std::string(600, 'x'));
    EXPECT_EQ(command.GetNumberOfBytesUsed(), 3u + 600u);
    EXPECT_EQ(Bytes(command)[1], 0x02);
    EXPECT_EQ(Bytes(command)[2], 0x58);

    RakNet::BitStream login;
    EncodeAdminLogin(login, "");
    EXPECT_EQ(Bytes(login), (std::vector<uint8_t>{159, 0, 0, 0, 0}));

    RakNet::BitStream death;
    EncodeDeathReport(death, 49, 255, 3);
    EXPECT_EQ(Bytes(death), (std::vector<uint8_t>{168, 49, 255, 3}));
}

TEST(ClientDecoding, ChatRelayReadsTextAfterTheUnalignedMarker)
{
    CMessageBuilder body;
    body.U32(0x105).Bit(true).Text16("hello");
    SChatRelay relay;
    ASSERT_TRUE(DecodeChatRelay(Message(204, Bytes(body)), relay));
    EXPECT_EQ(relay.uiPlayerId, 0x105u);
    EXPECT_TRUE(relay.bMarker);
    EXPECT_EQ(relay.strText, "hello");

    // A declared length beyond the payload is refused, not read past.
    CMessageBuilder lying;
    lying.U32(1).Bit(false).U16(50).Bytes("abc", 3);
    EXPECT_FALSE(DecodeChatRelay(Message(204, Bytes(lying)), relay));
}

TEST(ClientDecoding, ServerInfoWithStoreFilesAndAnOverstatedCount)
{
    CMessageBuilder body;
    body.U32(0x203)
        .F32(1550.0f)
        .F32(-2350.0f)
        .F32(1950.0f)
        .F32(-1950.0f)
        .Text8("OR:VN Server")
        .Text8("Alice");
    uint8_t abyDigest[20];
    for (int i = 0; i < 20; ++i)
    {
        abyDigest[i] = static_cast<uint8_t>(i);
    }
    body.U8(1).Bytes(abyDigest, 20).Text8("skins/a.txd");
    SServerInfo info;
    ASSERT_TRUE(DecodeServerInfo(Message(174, Bytes(body)), info));
    EXPECT_EQ(info.uiPlayerId, 0x203u);
    EXPECT_EQ(info.Slot(), 3);
    EXPECT_FLOAT_EQ(info.fMaxX, 1550.0f);
    EXPECT_FLOAT_EQ(info.fMinY, -1950.0f);
    EXPECT_EQ(info.strServerName, "OR:VN Server");
    EXPECT_EQ(info.strPlayerName, "Alice");
    ASSERT_EQ(info.files.size(), 1u);
    EXPECT_EQ(info.files[0].abyDigest[19], 19);
    EXPECT_EQ(info.files[0].strName, "skins/a.txd");

    CMessageBuilder overstated;
    overstated.U32(1).F32(0).F32(0).F32(0).F32(0).Text8("s").Text8("n").U8(2).Bytes(abyDigest, 20).Text8("a");
    EXPECT_FALSE(DecodeServerInfo(Message(174, Bytes(overstated)), info));
}

TEST(ClientDecoding, PlayerListCarriesAddressesOnlyForAdministrators)
{
    CMessageBuilder plain;
    plain.U8(2).U8(0).U8(0).I32(-5).U32(12).U8(7).I32(100).U32(30);
    SPlayerList list;
    ASSERT_TRUE(DecodePlayerList(Message(196, Bytes(plain)), list));
    EXPECT_FALSE(list.bAdmin);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].nScore, -5);
    EXPECT_EQ(list.entries[1].bySlot, 7);
    EXPECT_EQ(list.entries[1].uiPing, 30u);
    EXPECT_FALSE(list.entries[1].bHasAddress);

    CMessageBuilder admin;
    admin.U8(1).U8(1).U8(3).I32(0).U32(1).U32(0x7F000001);
    ASSERT_TRUE(DecodePlayerList(Message(196, Bytes(admin)), list));
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_TRUE(list.entries[0].bHasAddress);
    EXPECT_EQ(list.entries[0].uiAddress, 0x7F000001u);

    // The same admin list without its address is short.
    std::vector<uint8_t> cut = Bytes(admin);
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(DecodePlayerList(Message(196, cut), list));
}

TEST(ClientDecoding, WorldStateBlocksAreReversedAsAWhole)
{
    // Time state: weather 1, hour 12, minute 30, rate 0x0102: wire order is rate high byte first.
    SReceived msg = Message(171, {0x01, 0x02, 30, 12, 1});
    wire::STimeStateBlock time = {};
    ASSERT_TRUE(DecodeTimeState(msg, time));
    // Packed fields are copied before comparing: gtest binds references, and a
    // packed field may sit at an unaligned address.
    EXPECT_EQ(+time.byWeather, 1);
    EXPECT_EQ(+time.byHour, 12);
    EXPECT_EQ(+time.byMinute, 30);
    EXPECT_EQ(+time.usTimeRate, 0x0102);

    wire::SWorldOptionsBlock options = {0x2620, 0.008f, 1.0f, 6.0f, 10000.0f, 0};
    wire::SWorldOptionsBlock decoded = {};
    ASSERT_TRUE(DecodeWorldOptions(Message(170, ReversedMemory(options)), decoded));
    EXPECT_EQ(+decoded.uiWorldOptions, 0x2620u);
    EXPECT_FLOAT_EQ(+decoded.fGravity, 0.008f);
    EXPECT_FLOAT_EQ(+decoded.fMaxHeight, 10000.0f);
}

template <typename T, bool (*Decode)(const SReceived&, T&)> bool TryDecode(const SReceived& msg)
{
    T out{};
    return Decode(msg, out);
}

// Every decoder accepts its exact minimum payload and refuses one byte less.
TEST(ClientDecoding, DecodersRefuseShortPayloads)
{
    struct SCase
    {
        const char* szName;
        size_t nLength;
        bool (*pDecode)(const SReceived&);
    };
    const SCase cases[] = {
        {"server info", 4 + 16 + 1 + 1 + 1, TryDecode<SServerInfo, DecodeServerInfo>},
        {"refusal", 1, TryDecode<uint8_t, DecodeJoinRefusal>},
        {"chat line", 8, TryDecode<STextMessage, DecodeChatLine>},
        {"game message", 8, TryDecode<STextMessage, DecodeGameMessage>},
        {"kicked", 1, TryDecode<uint8_t, DecodeKicked>},
        {"world options", 21, TryDecode<wire::SWorldOptionsBlock, DecodeWorldOptions>},
        {"time state", 5, TryDecode<wire::STimeStateBlock, DecodeTimeState>},
        {"death settings", 28, TryDecode<wire::SDeathSettingsBlock, DecodeDeathSettings>},
        {"server name", 1, TryDecode<std::string, DecodeServerName>},
        {"join notice", 11, TryDecode<SJoinNotice, DecodeJoinNotice>},
        {"leave notice", 5, TryDecode<SLeaveNotice, DecodeLeaveNotice>},
        {"death notice", 7, TryDecode<SDeathNotice, DecodeDeathNotice>},
        {"player list", 2, TryDecode<SPlayerList, DecodePlayerList>},
        {"far list", 1, TryDecode<std::vector<wire::SFarEntry>, DecodeFarList>},
        {"chat relay", 7, TryDecode<SChatRelay, DecodeChatRelay>},
        {"on-foot relay", 41, TryDecode<SOnFootRelay, DecodeOnFootRelay>},
        {"aim relay", 65, TryDecode<SAimRelay, DecodeAimRelay>},
        {"driver relay", 61, TryDecode<SDriverRelay, DecodeDriverRelay>},
        {"passenger relay", 6, TryDecode<SPassengerRelay, DecodePassengerRelay>},
        {"value relay", 10, TryDecode<SValueRelay, DecodeValueRelay>},
        {"three-byte relay", 7, TryDecode<SPlayerBytes, DecodeThreeByteRelay>},
        {"projectile", 4 + 1 + 2 + 24 + 16, TryDecode<SProjectile, DecodeProjectile>},
        {"give weapon", 8, TryDecode<SGiveWeapon, DecodeGiveWeapon>},
        {"spawn description", 4 + 3 + 12 + 4 + 2 + 1 + 2,
         TryDecode<SSpawnDescription, DecodeSpawnDescription>},
        {"explosion", 1 + 12 + 4 + 1 + 2, TryDecode<SExplosion, DecodeExplosion>},
    };
    for (const SCase& c : cases)
    {
        EXPECT_TRUE(c.pDecode(Message(0, std::vector<uint8_t>(c.nLength, 0)))) << c.szName;
        EXPECT_FALSE(c.pDecode(Message(0, std::vector<uint8_t>(c.nLength - 1, 0)))) << c.szName;
    }
}

TEST(ClientDecoding, ReaderFailureIsStickyAndEmptyTextsNeedNoBytes)
{
    const uint8_t data[] = {0x80, 0x00, 0x00, 0x00};
    CPayloadReader reader(data, sizeof(data));
    bool bBit = false;
    std::string text = "unchanged";
    ASSERT_TRUE(reader.Bit(bBit));
    EXPECT_TRUE(bBit);
    ASSERT_TRUE(reader.Text16(text)); // unaligned zero length
    EXPECT_EQ(text, "");
    uint32_t ui = 7;
    EXPECT_FALSE(reader.U32(ui));
    EXPECT_EQ(ui, 7u);
    uint8_t by = 0;
    EXPECT_FALSE(reader.U8(by)); // bits remain, but the reader has failed
    EXPECT_FALSE(reader.Ok());
}

TEST(QueryProtocol, RequestsCarryAddressPortOpcodeAndPingBytes)
{
    const uint8_t abyAddress[4] = {127, 0, 0, 1};
    const uint8_t abyPing[4] = {9, 8, 7, 6};
    EXPECT_EQ(BuildQueryRequest(abyAddress, 8192, 'i'),
              (std::vector<uint8_t>{'O', 'R', 'V', 'N', 127, 0, 0, 1, 0x00, 0x20, 'i'}));
    const std::vector<uint8_t> ping = BuildQueryRequest(abyAddress, 0x1234, 'p', abyPing);
    ASSERT_EQ(ping.size(), 15u);
    EXPECT_EQ(ping[8], 0x34);
    EXPECT_EQ(ping[14], 6);

    std::vector<uint8_t> reply = ping;
    std::memcpy(reply.data(), "RV04", 4);
    EXPECT_TRUE(QueryReplyMatches(reply, ping));
    uint8_t abyEcho[4] = {};
    ASSERT_TRUE(DecodeQueryPing(reply.data(), reply.size(), abyEcho));
    EXPECT_EQ(std::memcmp(abyEcho, abyPing, 4), 0);
    reply.push_back(0);
    EXPECT_FALSE(DecodeQueryPing(reply.data(), reply.size(), abyEcho));
    reply.pop_back();
    reply[5] ^= 1;
    EXPECT_FALSE(QueryReplyMatches(reply, ping));
}

TEST(QueryProtocol, InformationAndPlayerRepliesAreBoundedByTheirLength)
{
    std::vector<uint8_t> info = {'R', 'V', '0', '4', 1, 2, 3, 4, 5, 6, 'i'};
    const char szVersion[12] = "04rel000";
    info.insert(info.end(), szVersion, szVersion + 12);
    info.insert(info.end(), {1, 3, 0, 50, 0});
    for (const char* szText : {"OR:VN Server", "Default", "Palmora"})
    {
        const uint32_t uiLength = static_cast<uint32_t>(std::strlen(szText));
        info.insert(info.end(), {static_cast<uint8_t>(uiLength), 0, 0, 0});
        info.insert(info.end(), szText, szText + uiLength);
    }
    SQueryInfo decoded;
    ASSERT_TRUE(DecodeQueryInfo(info.data(), info.size(), decoded));
    EXPECT_EQ(decoded.strVersion, "04rel000");
    EXPECT_TRUE(decoded.bPassword);
    EXPECT_EQ(decoded.usPlayers, 3);
    EXPECT_EQ(decoded.usMaxPlayers, 50);
    EXPECT_EQ(decoded.strServerName, "OR:VN Server");
    EXPECT_EQ(decoded.strGameMode, "Default");
    EXPECT_EQ(decoded.strMapName, "Palmora");
    EXPECT_FALSE(DecodeQueryInfo(info.data(), info.size() - 1, decoded));
    info[28] = 0xFF; // a name length far beyond the datagram
    EXPECT_FALSE(DecodeQueryInfo(info.data(), info.size(), decoded));

    std::vector<uint8_t> players = {'R', 'V', '0', '4', 0,   0,   0,   0, 0,   0,
                                    'c', 2,   0,   3,   'A', 'n', 'n', 2, 'B', 'o'};
    SQueryPlayers list;
    ASSERT_TRUE(DecodeQueryPlayers(players.data(), players.size(), list));
    EXPECT_EQ(list.names, (std::vector<std::string>{"Ann", "Bo"}));
    EXPECT_FALSE(DecodeQueryPlayers(players.data(), players.size() - 1, list));
    players[11] = 3; // claims a third name
    EXPECT_FALSE(DecodeQueryPlayers(players.data(), players.size(), list));
}

// A bare RakNet peer on the loopback stands in for the server.
class CLoopbackPeer
{
public:
    explicit CLoopbackPeer(const char* szPassword)
    {
        m_pPeer = RakNet::RakPeerInterface::GetInstance();
        RakNet::SocketDescriptor socket(0, "127.0.0.1");
        m_bStarted = m_pPeer->Startup(4, &socket, 1) == RakNet::RAKNET_STARTED;
        m_pPeer->SetMaximumIncomingConnections(4);
        m_pPeer->SetIncomingPassword(szPassword, static_cast<int>(std::strlen(szPassword) + 1));
    }
    ~CLoopbackPeer()
    {
        m_pPeer->Shutdown(100);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
    }
    bool Started() const { return m_bStarted; }
    uint16_t Port() { return m_pPeer->GetMyBoundAddress().GetPort(); }

    // Waits for a packet whose first byte is nId; the client's address is kept.
    std::vector<uint8_t> WaitFor(uint8_t byId, int nTimeoutMs = 2000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        while (std::chrono::steady_clock::now() < deadline)
        {
            for (RakNet::Packet* p = m_pPeer->Receive(); p; p = m_pPeer->Receive())
            {
                const std::vector<uint8_t> bytes(p->data, p->data + p->length);
                m_client = p->systemAddress;
                m_pPeer->DeallocatePacket(p);
                if (!bytes.empty() && bytes[0] == byId)
                {
                    return bytes;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return {};
    }
    void Send(const std::vector<uint8_t>& bytes)
    {
        m_pPeer->Send(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                      HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_client, false);
    }
    void Kick() { m_pPeer->CloseConnection(m_client, true); }

private:
    RakNet::RakPeerInterface* m_pPeer = nullptr;
    RakNet::SystemAddress m_client;
    bool m_bStarted = false;
};

TEST(ClientConnection, PasswordGoesWithItsZeroAndRefusalIsReported)
{
    CLoopbackPeer server("secret");
    ASSERT_TRUE(server.Started());
    CTestClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", server.Port(), "secre", 2000));
    EXPECT_EQ(client.LastConnectResult(), CONNECT_INVALID_PASSWORD);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.SendChat("not connected"));
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), "secret", 2000));
    EXPECT_EQ(client.LastConnectResult(), CONNECT_OK);
    EXPECT_TRUE(client.IsConnected());

    CLoopbackPeer open("");
    CTestClient second;
    EXPECT_TRUE(second.Connect("127.0.0.1", open.Port(), "", 2000));
}

TEST(ClientConnection, MessagesBothWaysAndTheDisconnectNotice)
{
    CLoopbackPeer server("");
    ASSERT_TRUE(server.Started());
    CTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), "", 2000));
    ASSERT_FALSE(server.WaitFor(ID_NEW_INCOMING_CONNECTION).empty());

    SJoinRequest request;
    request.strName = "Carol";
    ASSERT_TRUE(client.SendJoinRequest(request));
    RakNet::BitStream expected;
    EncodeJoinRequest(expected, request);
    EXPECT_EQ(server.WaitFor(152), Bytes(expected));

    server.Send({202, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 'o', 'k'});
    server.Send({202, 0, 0, 0, 0, 0, 0, 0, 0});
    server.Send({135, 4, 1}); // ordered after both lines, so they are queued when it is
    std::optional<SReceived> twoByte = client.WaitFor(516);
    ASSERT_TRUE(twoByte);
    EXPECT_EQ(twoByte->payload, (std::vector<uint8_t>{1}));
    EXPECT_EQ(client.CountOf(202), 2);
    std::optional<SReceived> line = client.WaitFor(202);
    ASSERT_TRUE(line);
    STextMessage text;
    ASSERT_TRUE(DecodeChatLine(*line, text));
    EXPECT_EQ(text.uiValue, 0xFFFFFFFFu);
    EXPECT_EQ(text.strText, "ok");
    EXPECT_EQ(client.CountOf(202), 1); // the older line was taken, the newer one stays

    server.Kick();
    EXPECT_TRUE(client.WaitForDisconnect(2000));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.CountOf(ID_DISCONNECTION_NOTIFICATION), 1);
}

TEST(ClientConnection, NoServerMeansFailureWithinTheTimeout)
{
    CTestClient client;
    const auto start = std::chrono::steady_clock::now();
    // Port 9 (discard) on the loopback has no listener in the test environment.
    EXPECT_FALSE(client.Connect("127.0.0.1", 9, "", 600));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_TRUE(client.LastConnectResult() == CONNECT_TIMED_OUT ||
                client.LastConnectResult() == CONNECT_ATTEMPT_FAILED);
    EXPECT_FALSE(client.WaitFor(174, 10));
}
