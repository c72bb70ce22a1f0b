#pragma once

// The outcome of one swarm run and its one-line JSON form, the tool's output.

#include <cstdint>
#include <string>

namespace orvnbot
{

struct SBotReport
{
    int nBots = 0;
    double dHz = 0.0;
    double dSeconds = 0.0;
    double dWarmup = 0.0;
    bool bSpread = false;
    int nJoined = 0;          // bots that got the server information
    int nSpawned = 0;         // bots that got the spawn permit
    int nLost = 0;            // spawned bots kicked or disconnected before the end
    uint64_t ullSent = 0;     // syncs sent inside the window, all bots
    uint64_t ullExpected = 0; // relays those syncs should produce at the bots in range
    uint64_t ullReceived = 0; // in-window relays received from bots in range
    uint64_t ullUnexpected = 0;
    uint64_t ullDuplicates = 0;
    uint64_t ullForeign = 0;
    uint64_t ullMalformed = 0;
    // Pairs in range whose receiver got nothing from the sender in the window
    // although the sender sent: a sign of streaming, not of loss.
    int nSilentPairs = 0;
    double dP50Ms = 0.0;
    double dP99Ms = 0.0;
    double dMaxMs = 0.0;
    // CPU seconds of the watched process during the window; negative when not watched.
    double dTargetCpuSeconds = -1.0;
    std::string strFirstFailure; // reason of the first bot that failed, if any
    // With churn or chat: handshakes completed (first joins included),
    // departures and chat lines, all bots.
    bool bChurn = false;
    uint64_t ullJoins = 0;
    uint64_t ullLeaves = 0;
    uint64_t ullChats = 0;
};

// received / expected, or a negative value when nothing was expected.
double Delivery(const SBotReport& report);

// {"bots":..,"hz":..,"seconds":..,"joined":..,"spawned":..,"sent":..,"expected":..,
//  "received":..,"delivery":..,"p50_ms":..,"p99_ms":.., then the extra fields};
// delivery is null when nothing was expected.
std::string FormatReportJson(const SBotReport& report);

} // namespace orvnbot
