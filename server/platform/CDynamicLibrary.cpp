#include "platform/CDynamicLibrary.h"

#include <cstdio>
#include <dlfcn.h>

namespace
{
void CopyError(char* szError, size_t nErrorSize)
{
    if (!szError || nErrorSize == 0)
        return;
    const char* szText = dlerror();
    snprintf(szError, nErrorSize, "%s", szText ? szText : "unknown error");
}
} // namespace

CDynamicLibrary* CDynamicLibrary::Open(const char* szPath, char* szError, size_t nErrorSize)
{
    dlerror();
    void* pHandle = dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
    if (!pHandle)
    {
        CopyError(szError, nErrorSize);
        return nullptr;
    }
    return new CDynamicLibrary(pHandle);
}

void* CDynamicLibrary::GetSymbol(const char* szName, char* szError, size_t nErrorSize)
{
    dlerror();
    void* pSymbol = dlsym(m_pHandle, szName);
    if (!pSymbol)
        CopyError(szError, nErrorSize);
    return pSymbol;
}

void CDynamicLibrary::Close()
{
    dlclose(m_pHandle);
    delete this;
}
