#pragma once

// CPU time of another process, read from Linux's /proc: the bot samples the
// server it loads at the start and the end of its counting window, so that
// the server's cost per relay leaves out the joins and the warm-up.

#include <cstdint>
#include <string>

namespace orvnbot
{

// User plus system time in clock ticks; false when the process or the file is gone.
bool ReadProcessCpuTicks(int nPid, uint64_t& ullTicks);

// The same from the text of /proc/<pid>/stat: fields 14 and 15, counted after
// the command name in parentheses (which may itself hold spaces and parentheses).
bool ParseStatCpuTicks(const std::string& strStat, uint64_t& ullTicks);

} // namespace orvnbot
