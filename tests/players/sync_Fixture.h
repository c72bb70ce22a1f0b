#pragma once

// Player tests of the sync messages: records as a client builds them, the
// messages queued (several per tick when asked) or delivered with a tick, and
// the relays as a client decodes them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BitStream.h"
#include "ClientMessages.h"
#include "PlayerTestFixture.h"
#include "ServerMessages.h"
#include "WireFormat.h"

class CSyncTest : public CPlayerTest
{
protected:
    static wire::SOnFootRecord OnFoot(float fX, float fY, float fZ)
    {
        wire::SOnFootRecord record = {};
        record.vPosition = {fX, fY, fZ};
        record.byHealth = 100;
        return record;
    }

    static std::vector<uint8_t> Bytes(const RakNet::BitStream& stream)
    {
        const uint8_t* pData = stream.GetData();
        return std::vector<uint8_t>(pData, pData + BITS_TO_BYTES(stream.GetNumberOfBitsUsed()));
    }
    static std::vector<uint8_t> OnFootBytes(uint32_t uiStamp, const wire::SOnFootRecord& record)
    {
        RakNet::BitStream stream;
        testclient::EncodeOnFootSync(stream, uiStamp, record);
        return Bytes(stream);
    }
    static std::vector<uint8_t> AimBytes(uint32_t uiStamp, const wire::SOnFootRecord& record,
                                         const wire::SAimRecord& aim)
    {
        RakNet::BitStream stream;
        testclient::EncodeAimSync(stream, uiStamp, record, aim);
        return Bytes(stream);
    }
    static std::vector<uint8_t> DriverBytes(uint32_t uiStamp, const wire::SDriverRecord& driver,
                                            const wire::SVehicleRecord& vehicle)
    {
        RakNet::BitStream stream;
        testclient::EncodeDriverSync(stream, uiStamp, driver, vehicle);
        return Bytes(stream);
    }
    static std::vector<uint8_t> PassengerBytes(uint32_t uiStamp, const wire::SPassengerRecord& passenger)
    {
        RakNet::BitStream stream;
        testclient::EncodePassengerSync(stream, uiStamp, passenger);
        return Bytes(stream);
    }

    // Queued without a tick, so that several arrive in the same tick.
    void Queue(int nSlot, const std::vector<uint8_t>& bytes) { Peer().InjectMessage(nSlot, bytes); }
    void Deliver(int nSlot, const std::vector<uint8_t>& bytes) { Harness().Deliver(nSlot, bytes); }

    // Two spawned players 10 units apart that see each other; nothing sent
    // and no event recorded yet.
    void SpawnPair()
    {
        m_pFirst = Spawned(0, "First", Vector(0.0f, 0.0f, 10.0f));
        m_pSecond = Spawned(1, "Second", Vector(10.0f, 0.0f, 10.0f));
        ASSERT_NE(m_pFirst, nullptr);
        ASSERT_NE(m_pSecond, nullptr);
        StreamAll();
        ASSERT_TRUE(Server().m_pStreamer->IsPlayerStreamed(m_pSecond, m_pFirst));
        Harness().Tick();
        Peer().ClearSent();
        Host().ClearLog();
    }

    // The on-foot relays of the first player that reached the slot.
    std::vector<testclient::SOnFootRelay> OnFootRelaysTo(int nSlot)
    {
        std::vector<testclient::SOnFootRelay> relays;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, wire::SV_ONFOOT_RELAY))
        {
            testclient::SOnFootRelay relay;
            EXPECT_TRUE(testclient::DecodeOnFootRelay(received, relay));
            relays.push_back(relay);
        }
        return relays;
    }

    // Plugin 0 kicks nSlot when it receives the callback slot nEvent.
    void KickOn(int nEvent, int nSlot)
    {
        Host().SetHook(0,
                       [this, nEvent, nSlot](int, int nGot, const int32_t*, const char*)
                       {
                           if (nGot == nEvent && Pool().Get(nSlot))
                               Server().Kick(nSlot, false);
                       });
    }

    CPlayer* m_pFirst = nullptr;
    CPlayer* m_pSecond = nullptr;
};
