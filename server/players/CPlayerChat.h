#pragma once

#include <cstdint>

// Identifiers of player texts and their relays.
enum : int
{
    ID_CHAT = 162,
    ID_PRIVATE_MESSAGE = 163,
    ID_COMMAND = 164,
    ID_CHAT_RELAY = 204,
    ID_PRIVATE_MESSAGE_RELAY = 205,
};

// Longest text a player can send; longer declared lengths are cut to this.
constexpr int MAX_CHAT_TEXT = 511;

// Colour and text of the reply to a private message for an empty slot.
constexpr uint32_t PRIVATE_MESSAGE_REPLY_COLOUR = 0xB0B0B0FF;
constexpr const char* PRIVATE_MESSAGE_NO_RECIPIENT = "*> Private message recipient does not exist. <*";

// Public chat, private messages and commands typed by players. The server
// interprets none of them: each goes to the plugins, which may veto chat and
// private messages; what is not vetoed is relayed for the clients to format.
// Commands only reach the plugins.
class CPlayerChat
{
public:
    // Message handlers (162, 163, 164). Each applies the joined-state guard,
    // ignores a slot without a player and a payload shorter than it declares,
    // and works under a lock on the sender.
    static void HandleChat(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandlePrivateMessage(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleCommand(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
