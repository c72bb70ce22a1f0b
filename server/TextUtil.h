#pragma once

#include <cstddef>

// Copies at most nSize-1 bytes of szSource and always terminates; a null
// source copies an empty text; a null or zero-sized destination is left alone.
void CopyText(char* szDest, const char* szSource, int nSize);

// ASCII case-insensitive comparison of at most nMax bytes.
bool TextEqualNoCase(const char* szA, const char* szB, size_t nMax = static_cast<size_t>(-1));
