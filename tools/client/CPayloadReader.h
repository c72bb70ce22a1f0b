#pragma once

// Reads a message body in the game protocol's bit-stream conventions. Every
// read is bounded by the payload: a read past the end fails, leaves its output
// untouched and makes every later read fail too, so a decoder can read all its
// fields and test Ok() once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "BitStream.h"

namespace testclient
{

class CPayloadReader
{
public:
    // The payload is referenced, not copied: it must outlive the reader.
    CPayloadReader(const uint8_t* pData, size_t nLength);
    CPayloadReader(const CPayloadReader&) = delete;
    CPayloadReader& operator=(const CPayloadReader&) = delete;

    bool U8(uint8_t& by);
    bool U16(uint16_t& us);
    bool U32(uint32_t& ui);
    bool I16(int16_t& s);
    bool I32(int32_t& n);
    bool F32(float& f);
    bool F64(double& d);
    bool Bit(bool& b);
    bool Bytes(void* pOut, size_t nLength);
    // Length-prefixed texts; a declared length beyond the payload fails.
    bool Text8(std::string& text);
    bool Text16(std::string& text);
    bool Text32(std::string& text);

    template <typename T> bool Block(T& record)
    {
        if (!m_bOk)
        {
            return false;
        }
        T value;
        m_bOk = m_stream.Read(value);
        if (m_bOk)
        {
            record = value;
        }
        return m_bOk;
    }

    bool Ok() const { return m_bOk; }
    size_t UnreadBits() const { return m_bOk ? m_stream.GetNumberOfUnreadBits() : 0; }

private:
    bool TextOfLength(uint32_t uiLength, std::string& text);

    // Both live as long as the reader: the stream over the caller's bytes and
    // whether every read so far stayed inside them.
    RakNet::BitStream m_stream;
    bool m_bOk = true;
};

} // namespace testclient
