#pragma once

// Builds a message body field by field in the game protocol's bit-stream
// conventions: wide integers and floats high byte first, records as whole
// reversed blocks, booleans as single bits, texts length-prefixed without a
// terminator. Every call returns the builder so a body reads as one expression.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BitStream.h"

namespace testclient
{

class CMessageBuilder
{
public:
    CMessageBuilder() = default;
    CMessageBuilder(const CMessageBuilder&) = delete;
    CMessageBuilder& operator=(const CMessageBuilder&) = delete;

    CMessageBuilder& U8(uint8_t by);
    CMessageBuilder& U16(uint16_t us);
    CMessageBuilder& U32(uint32_t ui);
    CMessageBuilder& I32(int32_t n);
    CMessageBuilder& F32(float f);
    CMessageBuilder& F64(double d);
    CMessageBuilder& Bit(bool b);
    CMessageBuilder& Bytes(const void* pData, size_t nLength);
    // Length-prefixed texts; a text longer than its prefix can count is cut.
    CMessageBuilder& Text8(std::string_view text);
    CMessageBuilder& Text16(std::string_view text);
    CMessageBuilder& Text32(std::string_view text);

    // Any fixed record as one block, reversed as a whole on the wire.
    template <typename T> CMessageBuilder& Block(const T& record)
    {
        m_stream.Write(record);
        return *this;
    }

    RakNet::BitStream& Stream() { return m_stream; }
    const RakNet::BitStream& Stream() const { return m_stream; }
    size_t BitCount() const { return m_stream.GetNumberOfBitsUsed(); }

private:
    // Lives as long as the builder; the bits written so far.
    RakNet::BitStream m_stream;
};

// Writes a message identifier: one byte below 256, else 133 + (id >> 8), id & 0xFF.
void WriteMessageId(RakNet::BitStream& stream, int nId);

// Appends all bits of one stream to another, alignment kept as written.
void AppendBits(RakNet::BitStream& target, const RakNet::BitStream& source);

} // namespace testclient
