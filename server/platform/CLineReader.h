#pragma once

#include <cstddef>

// Longest console line run as a command: 511 characters and the terminator.
constexpr int CONSOLE_LINE_SIZE = 512;

// One line as typed, without its line end.
struct SConsoleLine
{
    char szText[CONSOLE_LINE_SIZE];
    // Bytes the line had; above CONSOLE_LINE_SIZE - 1 the line was refused
    // whole and szText is empty.
    size_t nLength;
    bool bTooLong;
};

// Cuts a byte stream into lines, for the console and the control socket. A
// line that outgrows the buffer is handed over as refused, never in pieces:
// a piece of a long line could read as a command of its own. A CR before the
// line end is dropped. Holds one line's worth of bytes, whatever it is fed.
class CLineReader
{
public:
    // Takes bytes up to and including the first line end. Returns how many
    // were taken; bComplete tells whether a line ended, which is then in line.
    size_t Feed(const char* pData, size_t nLength, SConsoleLine& line, bool& bComplete);
    // At the end of input: a last line without its line end, if one was begun.
    bool Finish(SConsoleLine& line);

private:
    void TakeLine(SConsoleLine& line);

    // The line being read; lives until its line end.
    SConsoleLine m_Current = {};
};
