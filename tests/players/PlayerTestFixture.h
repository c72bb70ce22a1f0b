#pragma once

// An in-process server over the recording transport with recorder plugins
// loaded, for the player tests: joins, messages in, what was sent out, and
// the events the plugins saw.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BitStream.h"
#include "CServer.h"
#include "ClientMessages.h"
#include "ServerMessages.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "plugins/support/plugin_TestHost.h"
#include "world/CStreamer.h"

// A field of a packed wire record, read by value (the checks bind references,
// which a packed field cannot give).
template <typename T> T Value(T value)
{
    return value;
}

class CPlayerTest : public ::testing::Test
{
protected:
    // Recorder plugins to load before the server starts.
    explicit CPlayerTest(int nRecorders = 2) : m_nRecorders(nRecorders) {}

    void SetUp() override
    {
        m_pHost = std::make_unique<CPluginTestHost>(ORVN_TEST_PLUGIN_DIR);
        m_pHost->LoadRecorders(m_nRecorders);
        // Frames would fill the event log; the player tests do not need them.
        for (int i = 0; i < m_nRecorders; ++i)
            m_pHost->Recorder(i)->callbacks->OnServerFrame = nullptr;
        m_pHarness = std::make_unique<nettest::CServerHarness>();
        ASSERT_TRUE(m_pHarness->Started());
    }

    void TearDown() override
    {
        m_pHarness.reset();
        m_pHost.reset();
    }

    CServer& Server() { return m_pHarness->Server(); }
    CPlayerPool& Pool() { return *Server().m_pPlayerPool; }
    nettest::CRecordingPeer& Peer() { return m_pHarness->Peer(); }
    nettest::CServerHarness& Harness() { return *m_pHarness; }
    CPluginTestHost& Host() { return *m_pHost; }
    PluginFuncs* F() { return m_pHost->Funcs(); }

    // Connects and joins; the player, or null when the join failed.
    CPlayer* Join(int nSlot, const char* szName)
    {
        return m_pHarness->Join(nSlot, szName) ? Pool().Get(nSlot) : nullptr;
    }

    // Every player's streaming decided now rather than over the next passes.
    void StreamAll()
    {
        for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
            if (CPlayer* pPlayer = Pool().Get(nSlot))
                Server().m_pStreamer->StreamPlayer(pPlayer);
    }

    // Joined, permitted to spawn and spawned (without a class to apply), then placed.
    CPlayer* Spawned(int nSlot, const char* szName, const Vector& vPosition)
    {
        CPlayer* pPlayer = Join(nSlot, szName);
        if (!pPlayer)
            return nullptr;
        Send(nSlot, {166});
        Send(nSlot, {167});
        F()->SetPlayerPosition(nSlot, vPosition.x, vPosition.y, vPosition.z);
        return pPlayer;
    }

    // One client message (identifier first) from the slot, and a tick.
    void Send(int nSlot, std::initializer_list<uint8_t> bytes) { m_pHarness->Deliver(nSlot, bytes); }
    void Send(int nSlot, const RakNet::BitStream& stream)
    {
        const uint8_t* pData = stream.GetData();
        m_pHarness->Deliver(nSlot,
                            std::vector<uint8_t>(pData, pData + BITS_TO_BYTES(stream.GetNumberOfBitsUsed())));
    }

    // What a connection of the slot received with this identifier, decoded
    // the way the protocol client decodes it.
    std::vector<testclient::SReceived> ReceivedBy(int nSlot, int nId)
    {
        std::vector<testclient::SReceived> messages;
        for (const nettest::SSentMessage& sent : Peer().SentTo(nSlot, nId))
            messages.push_back(AsReceived(sent));
        return messages;
    }

    static testclient::SReceived AsReceived(const nettest::SSentMessage& sent)
    {
        testclient::SReceived received;
        received.id = sent.Id();
        received.payload = sent.Payload();
        return received;
    }

    // Identifiers in the order they reached the slot.
    std::vector<int> IdsReceivedBy(int nSlot)
    {
        std::vector<int> ids;
        for (const nettest::SSentMessage& sent : Peer().SentTo(nSlot))
            ids.push_back(sent.Id());
        return ids;
    }

    // Recorded events of plugin 0 whose text starts with strPrefix.
    std::vector<std::string> Events(const std::string& strPrefix, int nPlugin = 0)
    {
        std::vector<std::string> events;
        const std::string strPlugin = "p" + std::to_string(nPlugin) + " ";
        for (const std::string& strEvent : m_pHost->Events())
        {
            if (strEvent.compare(0, strPlugin.size(), strPlugin) == 0 &&
                strEvent.compare(strPlugin.size(), strPrefix.size(), strPrefix) == 0)
                events.push_back(strEvent.substr(strPlugin.size()));
        }
        return events;
    }

private:
    int m_nRecorders;
    std::unique_ptr<CPluginTestHost> m_pHost;
    std::unique_ptr<nettest::CServerHarness> m_pHarness;
};
