#pragma once

// A bare RakNet server that only sends files: RakNet's file list transfer
// with its own incremental reader, one read thread and 1 MiB pieces on
// channel 1, the same settings the game server uses. A client asks with one
// message, kBaselineRequest then its 16-bit set id, and is sent every file
// given at construction.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace orvnbench
{

constexpr uint8_t kBaselineRequest = 200;

class CStoreBaseline
{
public:
    CStoreBaseline(int nPort, std::vector<std::string> paths);
    // Serves until bStop is set; false when the port cannot be bound.
    bool Run(const std::atomic<bool>& bStop);

private:
    int m_nPort;
    std::vector<std::string> m_paths;
};

} // namespace orvnbench
