#pragma once

namespace RakNet
{
class BitStream;
}

// Writes the store file list as the server information carries it: the count
// (uint8), then per file its 20-byte digest, its name length (uint8) and the
// name's bytes. Returns the number of files written; a new player's spawn
// waits for its download when that is not 0.
int WriteStoreFileList(RakNet::BitStream& stream);
