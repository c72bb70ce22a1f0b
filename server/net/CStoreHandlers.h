#pragma once

#include <cstdint>

enum : int
{
    ID_STORE_FILE_REQUEST = 185,
};

// A joined client asks for store files by digest (185); the transport tells
// the server when a transfer has been pushed completely (internal 256).
// Either way the player may spawn once nothing is left to wait for.
class CStoreHandlers
{
public:
    // count (uint8), set id (uint16), count digests of 20 bytes. A count
    // above the digests present uses the digests present; count 0 releases
    // the player at once; a request while the player's transfer still runs
    // is ignored.
    static void OnFileRequest(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void OnPushComplete(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
