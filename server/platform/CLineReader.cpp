#include "platform/CLineReader.h"

#include <cstring>

size_t CLineReader::Feed(const char* pData, size_t nLength, SConsoleLine& line, bool& bComplete)
{
    bComplete = false;
    for (size_t i = 0; i < nLength; ++i)
    {
        if (pData[i] == '\n')
        {
            TakeLine(line);
            bComplete = true;
            return i + 1;
        }
        if (m_Current.nLength + 1 >= static_cast<size_t>(CONSOLE_LINE_SIZE))
            m_Current.bTooLong = true;
        else
            m_Current.szText[m_Current.nLength] = pData[i];
        ++m_Current.nLength;
    }
    return nLength;
}

bool CLineReader::Finish(SConsoleLine& line)
{
    if (m_Current.nLength == 0)
        return false;
    TakeLine(line);
    return true;
}

void CLineReader::TakeLine(SConsoleLine& line)
{
    if (m_Current.bTooLong)
    {
        m_Current.szText[0] = '\0';
    }
    else
    {
        if (m_Current.nLength > 0 && m_Current.szText[m_Current.nLength - 1] == '\r')
            --m_Current.nLength;
        m_Current.szText[m_Current.nLength] = '\0';
    }
    line = m_Current;
    m_Current.nLength = 0;
    m_Current.bTooLong = false;
}
