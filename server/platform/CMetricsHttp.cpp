#include "platform/CMetricsHttp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/Platform.h"

namespace
{
// Scrapers are few and quick; a connection that dawdles is closed.
constexpr unsigned int HTTP_CONNECTION_LIMIT = 16;
constexpr unsigned int HTTP_TIMEOUT_S = 10;

MHD_Result Reply(MHD_Connection* pConnection, unsigned int uiStatus, const char* pBody, size_t nLength,
                 const char* szType)
{
    MHD_Response* pResponse =
        MHD_create_response_from_buffer(nLength, const_cast<char*>(pBody), MHD_RESPMEM_MUST_COPY);
    if (!pResponse)
        return MHD_NO;
    MHD_add_response_header(pResponse, MHD_HTTP_HEADER_CONTENT_TYPE, szType);
    if (uiStatus == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(pResponse, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result eResult = MHD_queue_response(pConnection, uiStatus, pResponse);
    MHD_destroy_response(pResponse);
    return eResult;
}

// Only GET (and HEAD) of the one path; nothing a client sends is stored.
MHD_Result OnRequest(void* pContext, MHD_Connection* pConnection, const char* szUrl, const char* szMethod,
                     const char*, const char*, size_t* pnUploadSize, void**)
{
    const CMetricsHttp* pServer = static_cast<const CMetricsHttp*>(pContext);
    const char* szPlain = "text/plain; charset=utf-8";
    if (strcmp(szMethod, MHD_HTTP_METHOD_GET) != 0 && strcmp(szMethod, MHD_HTTP_METHOD_HEAD) != 0)
        return Reply(pConnection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method not allowed\n", 19, szPlain);
    // A GET with a body: the body is dropped unread.
    *pnUploadSize = 0;
    if (strcmp(szUrl, METRICS_HTTP_PATH) != 0)
        return Reply(pConnection, MHD_HTTP_NOT_FOUND, "Not found\n", 10, szPlain);
    std::string strPage;
    pServer->Renderer()(strPage);
    return Reply(pConnection, MHD_HTTP_OK, strPage.data(), strPage.size(),
                 "text/plain; version=0.0.4; charset=utf-8");
}
} // namespace

CMetricsHttp::~CMetricsHttp()
{
    Stop();
}

bool CMetricsHttp::Start(const char* szBindAddress, int nPort, RenderFn pfnRender)
{
    sockaddr_in address4 = {};
    sockaddr_in6 address6 = {};
    const sockaddr* pAddress = nullptr;
    unsigned int uiFlags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    if (inet_pton(AF_INET, szBindAddress, &address4.sin_addr) == 1)
    {
        address4.sin_family = AF_INET;
        address4.sin_port = htons(static_cast<uint16_t>(nPort));
        pAddress = reinterpret_cast<const sockaddr*>(&address4);
    }
    else if (inet_pton(AF_INET6, szBindAddress, &address6.sin6_addr) == 1)
    {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(static_cast<uint16_t>(nPort));
        pAddress = reinterpret_cast<const sockaddr*>(&address6);
        uiFlags |= MHD_USE_IPv6;
    }
    if (!pAddress || nPort < 1 || nPort > 65535 || !pfnRender || m_pDaemon)
    {
        snprintf(m_szError, sizeof(m_szError), "not an address and port: %s %d", szBindAddress, nPort);
        return false;
    }
    m_pfnRender = pfnRender;
    // The library's thread inherits the mask: signals stay with the main thread.
    CSignalBlock block;
    errno = 0;
    m_pDaemon =
        MHD_start_daemon(uiFlags, static_cast<uint16_t>(nPort), nullptr, nullptr, &OnRequest, this,
                         MHD_OPTION_SOCK_ADDR, pAddress, MHD_OPTION_CONNECTION_LIMIT, HTTP_CONNECTION_LIMIT,
                         MHD_OPTION_CONNECTION_TIMEOUT, HTTP_TIMEOUT_S, MHD_OPTION_END);
    if (!m_pDaemon)
        snprintf(m_szError, sizeof(m_szError), "%s",
                 errno ? strerror(errno) : "the HTTP server did not start");
    return m_pDaemon != nullptr;
}

void CMetricsHttp::Stop()
{
    if (m_pDaemon)
        MHD_stop_daemon(static_cast<MHD_Daemon*>(m_pDaemon));
    m_pDaemon = nullptr;
}
