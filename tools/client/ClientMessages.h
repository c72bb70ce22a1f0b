#pragma once

// Encoders of the messages a client sends. Each writes the whole message,
// identifier first, into a stream, so the bytes can be checked without a
// server and sent unchanged by CTestClient.

#include <cstdint>
#include <string>
#include <string_view>

#include "BitStream.h"
#include "WireFormat.h"

namespace testclient
{

struct SJoinRequest
{
    uint32_t uiMagic = wire::kProtocolMagic;
    uint32_t uiVersion = wire::kProtocolVersion;
    std::string strName;
    std::string strPassword; // the player's login password for plugins, not the server password
    bool bHasUniqueId = true;
    std::string strUniqueId = "test-client-unique-id";
    // Declared lengths written instead of the texts' own lengths when >= 0 (only
    // the text's bytes follow, so a message can claim more than it carries).
    int nNameLength = -1;
    int nPasswordLength = -1;
    int nUniqueIdLength = -1;
};

void EncodeJoinRequest(RakNet::BitStream& stream, const SJoinRequest& request);

void EncodeOnFootSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SOnFootRecord& onFoot);
void EncodeAimSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SOnFootRecord& onFoot,
                   const wire::SAimRecord& aim);
void EncodeDriverSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SDriverRecord& driver,
                      const wire::SVehicleRecord& vehicle);
void EncodePassengerSync(RakNet::BitStream& stream, uint32_t uiStamp,
                         const wire::SPassengerRecord& passenger);

// Chat and commands carry a uint16 length; a text longer than 65535 bytes is cut.
void EncodeChat(RakNet::BitStream& stream, std::string_view text);
void EncodeCommand(RakNet::BitStream& stream, std::string_view text);
void EncodePrivateMessage(RakNet::BitStream& stream, uint8_t byRecipientSlot, std::string_view text);
void EncodeClientText(RakNet::BitStream& stream, std::string_view text);

// The administrator password carries a uint32 length.
void EncodeAdminLogin(RakNet::BitStream& stream, std::string_view password);

void EncodeDeathReport(RakNet::BitStream& stream, uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart);
void EncodeClientValue(RakNet::BitStream& stream, double dValue);

// Messages whose body is a single byte (class request, quit, admin kick and ban).
void EncodeByteMessage(RakNet::BitStream& stream, int nId, uint8_t byValue);
// Messages without a body (spawn request, spawned, player list request, toggles).
void EncodeEmptyMessage(RakNet::BitStream& stream, int nId);

// Direction bytes of the class request.
constexpr uint8_t kClassNext = 1;
constexpr uint8_t kClassPrevious = 255;
constexpr uint8_t kClassStay = 0;

// Quit reasons as the server records them.
constexpr uint8_t kQuitTimedOut = 0;
constexpr uint8_t kQuitLeft = 1;
constexpr uint8_t kQuitKicked = 2;
constexpr uint8_t kQuitCrashed = 3;

} // namespace testclient
