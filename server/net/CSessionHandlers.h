#pragma once

#include <cstdint>

// Client messages of the session: the join handshake, quit, and the
// administrator login, kick and ban.
enum : int
{
    ID_JOIN_REQUEST = 152,
    ID_QUIT = 153,
    ID_ADMIN_LOGIN = 159,
    ID_ADMIN_KICK = 160,
    ID_ADMIN_BAN = 161,
    // Server to client: a refused join, followed by its code.
    ID_JOIN_REFUSED = 175,
};

constexpr uint32_t JOIN_MAGIC = 0x04E6F218;
// Clients whose version / 10 equals this are admitted (66100..66109).
constexpr uint32_t JOIN_VERSION_BAND = 6610;

// The byte after message 175.
enum EJoinRefusal : uint8_t
{
    JOIN_ACCEPTED = 0,
    JOIN_WRONG_MAGIC = 1,
    JOIN_VERSION_OLDER = 2,
    JOIN_VERSION_NEWER = 3,
    JOIN_BAD_NAME = 4,
    JOIN_NAME_IN_USE = 5,
    JOIN_SLOT_OR_ERROR = 6,
    JOIN_PLUGIN_REFUSED = 7,
    JOIN_NO_UNIQUE_ID = 8,
};

// The handlers of the session messages, and the join check they share with
// the tests. Stateless: the connection states live in CServer.
class CSessionHandlers
{
public:
    // Internal: the transport reported a new connection.
    static void OnConnectionOpened(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    // Internal: the connection ended; nMessageId is the transport's event
    // (disconnection notice or lost connection).
    static void OnConnectionEnded(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnJoinRequest(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnQuit(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnAdminLogin(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnAdminKick(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnAdminBan(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);

    // Everything the join request does after the connected-state guard:
    // reads and checks the request in order, and either creates the player
    // (JOIN_ACCEPTED) or refuses (message 175, the line, a kick) and returns
    // the code. A request cut short refuses with the code of the first field
    // it lacks: the header (magic, version) gives JOIN_WRONG_MAGIC, the name
    // JOIN_BAD_NAME, anything from the password on JOIN_NO_UNIQUE_ID.
    static uint8_t ProcessJoinRequest(int nSlot, const uint8_t* pPayload, int nLength);
};
