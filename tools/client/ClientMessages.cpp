#include "ClientMessages.h"

#include <algorithm>

#include "CMessageBuilder.h"

namespace testclient
{

namespace
{

// A length byte followed by the text; the declared length may differ from the text's.
void WriteShortText(RakNet::BitStream& stream, const std::string& text, int nDeclaredLength)
{
    const size_t nBytes = std::min<size_t>(text.size(), 0xFF);
    const uint8_t byLength =
        nDeclaredLength >= 0 ? static_cast<uint8_t>(nDeclaredLength & 0xFF) : static_cast<uint8_t>(nBytes);
    stream.Write(byLength);
    if (nBytes > 0)
    {
        stream.Write(text.data(), static_cast<unsigned int>(nBytes));
    }
}

void WriteText16(RakNet::BitStream& stream, std::string_view text)
{
    const size_t nBytes = std::min<size_t>(text.size(), 0xFFFF);
    stream.Write(static_cast<uint16_t>(nBytes));
    if (nBytes > 0)
    {
        stream.Write(text.data(), static_cast<unsigned int>(nBytes));
    }
}

} // namespace

// The unique-id length and bytes follow the flag bit and so are not byte-aligned.
void EncodeJoinRequest(RakNet::BitStream& stream, const SJoinRequest& request)
{
    WriteMessageId(stream, wire::CL_JOIN_REQUEST);
    stream.Write(request.uiMagic);
    stream.Write(request.uiVersion);
    WriteShortText(stream, request.strName, request.nNameLength);
    WriteShortText(stream, request.strPassword, request.nPasswordLength);
    stream.Write(request.bHasUniqueId);
    WriteShortText(stream, request.strUniqueId, request.nUniqueIdLength);
}

void EncodeOnFootSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SOnFootRecord& onFoot)
{
    WriteMessageId(stream, wire::CL_ONFOOT_SYNC);
    stream.Write(uiStamp);
    stream.Write(onFoot);
}

void EncodeAimSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SOnFootRecord& onFoot,
                   const wire::SAimRecord& aim)
{
    WriteMessageId(stream, wire::CL_AIM_SYNC);
    stream.Write(uiStamp);
    stream.Write(onFoot);
    stream.Write(aim);
}

void EncodeDriverSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SDriverRecord& driver,
                      const wire::SVehicleRecord& vehicle)
{
    WriteMessageId(stream, wire::CL_DRIVER_SYNC);
    stream.Write(uiStamp);
    stream.Write(driver);
    stream.Write(vehicle);
}

void EncodePassengerSync(RakNet::BitStream& stream, uint32_t uiStamp, const wire::SPassengerRecord& passenger)
{
    WriteMessageId(stream, wire::CL_PASSENGER_SYNC);
    stream.Write(uiStamp);
    stream.Write(passenger);
}

void EncodeChat(RakNet::BitStream& stream, std::string_view text)
{
    WriteMessageId(stream, wire::CL_CHAT);
    WriteText16(stream, text);
}

void EncodeCommand(RakNet::BitStream& stream, std::string_view text)
{
    WriteMessageId(stream, wire::CL_COMMAND);
    WriteText16(stream, text);
}

void EncodePrivateMessage(RakNet::BitStream& stream, uint8_t byRecipientSlot, std::string_view text)
{
    WriteMessageId(stream, wire::CL_PRIVATE_MESSAGE);
    stream.Write(byRecipientSlot);
    WriteText16(stream, text);
}

void EncodeClientText(RakNet::BitStream& stream, std::string_view text)
{
    WriteMessageId(stream, wire::CL_CLIENT_TEXT);
    WriteText16(stream, text);
}

void EncodeAdminLogin(RakNet::BitStream& stream, std::string_view password)
{
    WriteMessageId(stream, wire::CL_ADMIN_LOGIN);
    stream.Write(static_cast<uint32_t>(password.size()));
    if (!password.empty())
    {
        stream.Write(password.data(), static_cast<unsigned int>(password.size()));
    }
}

void EncodeDeathReport(RakNet::BitStream& stream, uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart)
{
    WriteMessageId(stream, wire::CL_DEATH_REPORT);
    stream.Write(byReason);
    stream.Write(byKillerSlot);
    stream.Write(byBodyPart);
}

void EncodeClientValue(RakNet::BitStream& stream, double dValue)
{
    WriteMessageId(stream, wire::CL_CLIENT_VALUE);
    stream.Write(dValue);
}

void EncodeByteMessage(RakNet::BitStream& stream, int nId, uint8_t byValue)
{
    WriteMessageId(stream, nId);
    stream.Write(byValue);
}

void EncodeEmptyMessage(RakNet::BitStream& stream, int nId)
{
    WriteMessageId(stream, nId);
}

} // namespace testclient
