#pragma once

#include <cstdint>

// Where the server reads its clocks. The real one asks the platform; tests
// drive a manual one so deadlines can be checked without sleeping.
class ITimeSource
{
public:
    virtual ~ITimeSource() = default;
    // Milliseconds, 32-bit and wrapping (the tick's now).
    virtual uint32_t GetTickMs() = 0;
    // High-resolution counter and its frequency (the frame time).
    virtual uint64_t GetPerfCounter() = 0;
    virtual uint64_t GetPerfFrequency() = 0;
    // Microseconds, for stage timing and the plugins' GetTime.
    virtual uint64_t GetMicroseconds() = 0;
};

// The operating system's clocks.
class CSystemTime : public ITimeSource
{
public:
    uint32_t GetTickMs() override;
    uint64_t GetPerfCounter() override;
    uint64_t GetPerfFrequency() override;
    uint64_t GetMicroseconds() override;
};

// A clock that moves only when told to; for tests.
class CManualTime : public ITimeSource
{
public:
    uint32_t GetTickMs() override { return m_uiTickMs; }
    uint64_t GetPerfCounter() override { return m_ullMicroseconds; }
    uint64_t GetPerfFrequency() override { return 1000000ull; }
    uint64_t GetMicroseconds() override { return m_ullMicroseconds; }

    // Moves every clock forward together.
    void Advance(uint32_t uiMs)
    {
        m_uiTickMs += uiMs;
        m_ullMicroseconds += uiMs * 1000ull;
    }

    uint32_t m_uiTickMs = 1000;
    uint64_t m_ullMicroseconds = 1000000ull;
};

// The time source for the whole process; CSystemTime unless a test replaced it.
ITimeSource* GetTimeSource();
void SetTimeSource(ITimeSource* pTime);
