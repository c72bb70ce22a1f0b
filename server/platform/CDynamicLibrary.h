#pragma once

#include <cstddef>

// One loaded shared library. Plugins are never unloaded, so the server only
// closes a library whose entry point could not be found.
class CDynamicLibrary
{
public:
    // Loads the library; returns null and fills szError (at most nErrorSize-1
    // characters) when it cannot be loaded.
    static CDynamicLibrary* Open(const char* szPath, char* szError, size_t nErrorSize);

    // The exported symbol, or null with the error text filled in.
    void* GetSymbol(const char* szName, char* szError, size_t nErrorSize);

    // Releases the library and deletes this object.
    void Close();

    void* GetHandle() const { return m_pHandle; }

private:
    explicit CDynamicLibrary(void* pHandle) : m_pHandle(pHandle) {}
    void* m_pHandle;
};
