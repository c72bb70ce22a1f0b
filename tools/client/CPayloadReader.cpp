#include "CPayloadReader.h"

namespace testclient
{

CPayloadReader::CPayloadReader(const uint8_t* pData, size_t nLength)
    : m_stream(const_cast<unsigned char*>(pData), pData ? static_cast<unsigned int>(nLength) : 0, false)
{
}

bool CPayloadReader::U8(uint8_t& by)
{
    return Block(by);
}

bool CPayloadReader::U16(uint16_t& us)
{
    return Block(us);
}

bool CPayloadReader::U32(uint32_t& ui)
{
    return Block(ui);
}

bool CPayloadReader::I16(int16_t& s)
{
    return Block(s);
}

bool CPayloadReader::I32(int32_t& n)
{
    return Block(n);
}

bool CPayloadReader::F32(float& f)
{
    return Block(f);
}

bool CPayloadReader::F64(double& d)
{
    return Block(d);
}

bool CPayloadReader::Bit(bool& b)
{
    if (!m_bOk)
    {
        return false;
    }
    bool bValue = false;
    m_bOk = m_stream.Read(bValue);
    if (m_bOk)
    {
        b = bValue;
    }
    return m_bOk;
}

// The stream refuses a zero-length read when unaligned, so an empty field is
// answered here.
bool CPayloadReader::Bytes(void* pOut, size_t nLength)
{
    if (!m_bOk)
    {
        return false;
    }
    if (nLength == 0)
    {
        return true;
    }
    if (nLength * 8 > m_stream.GetNumberOfUnreadBits())
    {
        m_bOk = false;
        return false;
    }
    m_bOk = m_stream.Read(static_cast<char*>(pOut), static_cast<unsigned int>(nLength));
    return m_bOk;
}

bool CPayloadReader::TextOfLength(uint32_t uiLength, std::string& text)
{
    if (!m_bOk || static_cast<uint64_t>(uiLength) * 8 > m_stream.GetNumberOfUnreadBits())
    {
        m_bOk = false;
        return false;
    }
    std::string value(uiLength, '\0');
    if (!Bytes(value.data(), uiLength))
    {
        return false;
    }
    text = std::move(value);
    return true;
}

bool CPayloadReader::Text8(std::string& text)
{
    uint8_t byLength = 0;
    return U8(byLength) && TextOfLength(byLength, text);
}

bool CPayloadReader::Text16(std::string& text)
{
    uint16_t usLength = 0;
    return U16(usLength) && TextOfLength(usLength, text);
}

bool CPayloadReader::Text32(std::string& text)
{
    uint32_t uiLength = 0;
    return U32(uiLength) && TextOfLength(uiLength, text);
}

} // namespace testclient
