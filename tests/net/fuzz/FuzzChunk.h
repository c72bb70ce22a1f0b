#pragma once

// The transport fuzz targets' inputs are chunks of [kind][length][bytes] until
// the input ends: bit 7 of kind adds 256 to the length, and a length past the
// end of the input takes what is left.

#include <cstddef>
#include <cstdint>

struct SFuzzChunk
{
    uint8_t byKind;
    const uint8_t* pData;
    size_t nLength;
};

// Reads the chunk at nAt and moves nAt past it; false once the input ends.
inline bool NextFuzzChunk(const uint8_t* pData, size_t nSize, size_t& nAt, SFuzzChunk& chunk)
{
    if (nAt + 2 > nSize)
        return false;
    chunk.byKind = pData[nAt];
    const size_t nLength = pData[nAt + 1] + (chunk.byKind & 0x80 ? 256u : 0u);
    nAt += 2;
    chunk.nLength = nLength < nSize - nAt ? nLength : nSize - nAt;
    chunk.pData = pData + nAt;
    nAt += chunk.nLength;
    return true;
}
