#include "TextUtil.h"

#include <cstring>

void CopyText(char* szDest, const char* szSource, int nSize)
{
    if (!szDest || nSize <= 0)
        return;
    if (!szSource)
        szSource = "";
    size_t nLength = strnlen(szSource, static_cast<size_t>(nSize - 1));
    memcpy(szDest, szSource, nLength);
    szDest[nLength] = '\0';
}

namespace
{
inline unsigned char LowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
} // namespace

bool TextEqualNoCase(const char* szA, const char* szB, size_t nMax)
{
    for (size_t i = 0; i < nMax; ++i)
    {
        unsigned char a = LowerAscii(static_cast<unsigned char>(szA[i]));
        unsigned char b = LowerAscii(static_cast<unsigned char>(szB[i]));
        if (a != b)
            return false;
        if (a == '\0')
            return true;
    }
    return true;
}
