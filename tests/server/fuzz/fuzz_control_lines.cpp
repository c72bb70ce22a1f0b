// Feeds arbitrary bytes, in arbitrary pieces, to the line reader that cuts
// what control clients (and the console) send into command lines. Nothing
// may crash or read outside the input, and what comes out must keep the
// reader's promises: every byte is taken, a line never holds a line end or
// more than 511 characters, and a refused line is empty and says how long it was.
//
// Input: chunks of [kind][length][bytes] (FuzzChunk.h); every chunk is fed
// as it stands, and a kind with bit 0 set also ends the input there.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/fuzz/FuzzChunk.h"
#include "platform/CLineReader.h"

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        abort();
}

void CheckLine(const SConsoleLine& line, size_t nBytesSinceLastLine)
{
    const size_t nText = strnlen(line.szText, CONSOLE_LINE_SIZE);
    Check(nText < CONSOLE_LINE_SIZE);
    Check(memchr(line.szText, '\n', nText) == nullptr);
    Check(line.bTooLong == (line.nLength > static_cast<size_t>(CONSOLE_LINE_SIZE - 1)));
    Check(!line.bTooLong || nText == 0);
    // A line counts its own bytes, a dropped CR at most more, never others'.
    Check(line.nLength <= nBytesSinceLastLine);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CLineReader reader;
    size_t nAt = 0;
    size_t nSinceLine = 0;
    SFuzzChunk chunk;
    while (NextFuzzChunk(pData, nSize, nAt, chunk))
    {
        const char* pText = reinterpret_cast<const char*>(chunk.pData);
        for (size_t nTaken = 0; nTaken < chunk.nLength;)
        {
            SConsoleLine line;
            bool bComplete = false;
            const size_t nStep = reader.Feed(pText + nTaken, chunk.nLength - nTaken, line, bComplete);
            Check(nStep > 0 && nStep <= chunk.nLength - nTaken);
            Check(bComplete == (pText[nTaken + nStep - 1] == '\n'));
            nTaken += nStep;
            nSinceLine += nStep;
            if (bComplete)
            {
                CheckLine(line, nSinceLine);
                nSinceLine = 0;
            }
        }
        if (chunk.byKind & 1)
            break;
    }
    SConsoleLine last;
    if (reader.Finish(last))
        CheckLine(last, nSinceLine);
    return 0;
}
