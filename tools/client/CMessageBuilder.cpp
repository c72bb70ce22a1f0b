#include "CMessageBuilder.h"

#include <algorithm>

namespace testclient
{

CMessageBuilder& CMessageBuilder::U8(uint8_t by)
{
    m_stream.Write(by);
    return *this;
}

CMessageBuilder& CMessageBuilder::U16(uint16_t us)
{
    m_stream.Write(us);
    return *this;
}

CMessageBuilder& CMessageBuilder::U32(uint32_t ui)
{
    m_stream.Write(ui);
    return *this;
}

CMessageBuilder& CMessageBuilder::I32(int32_t n)
{
    m_stream.Write(n);
    return *this;
}

CMessageBuilder& CMessageBuilder::F32(float f)
{
    m_stream.Write(f);
    return *this;
}

CMessageBuilder& CMessageBuilder::F64(double d)
{
    m_stream.Write(d);
    return *this;
}

CMessageBuilder& CMessageBuilder::Bit(bool b)
{
    m_stream.Write(b);
    return *this;
}

CMessageBuilder& CMessageBuilder::Bytes(const void* pData, size_t nLength)
{
    if (pData != nullptr && nLength > 0)
    {
        m_stream.Write(static_cast<const char*>(pData), static_cast<unsigned int>(nLength));
    }
    return *this;
}

CMessageBuilder& CMessageBuilder::Text8(std::string_view text)
{
    const size_t nLength = std::min<size_t>(text.size(), 0xFF);
    U8(static_cast<uint8_t>(nLength));
    return Bytes(text.data(), nLength);
}

CMessageBuilder& CMessageBuilder::Text16(std::string_view text)
{
    const size_t nLength = std::min<size_t>(text.size(), 0xFFFF);
    U16(static_cast<uint16_t>(nLength));
    return Bytes(text.data(), nLength);
}

CMessageBuilder& CMessageBuilder::Text32(std::string_view text)
{
    U32(static_cast<uint32_t>(text.size()));
    return Bytes(text.data(), text.size());
}

void WriteMessageId(RakNet::BitStream& stream, int nId)
{
    if (nId < 256)
    {
        stream.Write(static_cast<uint8_t>(nId));
        return;
    }
    stream.Write(static_cast<uint8_t>(133 + (nId >> 8)));
    stream.Write(static_cast<uint8_t>(nId & 0xFF));
}

void AppendBits(RakNet::BitStream& target, const RakNet::BitStream& source)
{
    const RakNet::BitSize_t nBits = source.GetNumberOfBitsUsed();
    if (nBits > 0)
    {
        // The stream keeps a partial last byte in its high bits, hence not right-aligned.
        target.WriteBits(source.GetData(), nBits, false);
    }
}

} // namespace testclient
