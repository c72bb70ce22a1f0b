#include "net/StoreFileList.h"

#include <cstdint>

#include "BitStream.h"

// Until the store is scanned there are no files: an empty list. The store
// transfer replaces this file with the real list.
int WriteStoreFileList(RakNet::BitStream& stream)
{
    stream.Write(static_cast<uint8_t>(0));
    return 0;
}
