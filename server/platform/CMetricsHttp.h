#pragma once

#include <string>

// The path the monitoring system scrapes; every other path answers 404.
#define METRICS_HTTP_PATH "/metrics"

// Serves one text, made fresh for each request, at GET /metrics over HTTP,
// on the HTTP library's own thread. Lives from Start to Stop (or its end).
class CMetricsHttp
{
public:
    // Fills strOut with the page; runs on the HTTP thread.
    typedef void (*RenderFn)(std::string& strOut);

    CMetricsHttp() = default;
    ~CMetricsHttp();
    CMetricsHttp(const CMetricsHttp&) = delete;
    CMetricsHttp& operator=(const CMetricsHttp&) = delete;

    // Listens on the numeric IPv4 or IPv6 address and the port; false, with
    // LastError saying why, when the address is no address or the port cannot
    // be had.
    bool Start(const char* szBindAddress, int nPort, RenderFn pfnRender);
    void Stop();
    const char* LastError() const { return m_szError; }
    RenderFn Renderer() const { return m_pfnRender; }

private:
    // The library's daemon; null while stopped.
    void* m_pDaemon = nullptr;
    RenderFn m_pfnRender = nullptr;
    char m_szError[128] = "";
};
