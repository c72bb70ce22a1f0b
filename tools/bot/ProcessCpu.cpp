#include "ProcessCpu.h"

#include <fstream>
#include <sstream>

namespace orvnbot
{

bool ParseStatCpuTicks(const std::string& strStat, uint64_t& ullTicks)
{
    const size_t nClose = strStat.rfind(')');
    if (nClose == std::string::npos)
    {
        return false;
    }
    // After the name: state (field 3), then fields 4..13, then utime and stime.
    std::istringstream fields(strStat.substr(nClose + 1));
    std::string strField;
    for (int nField = 3; nField <= 13; ++nField)
    {
        if (!(fields >> strField))
        {
            return false;
        }
    }
    unsigned long long ullUser = 0;
    unsigned long long ullSystem = 0;
    if (!(fields >> ullUser >> ullSystem))
    {
        return false;
    }
    ullTicks = ullUser + ullSystem;
    return true;
}

bool ReadProcessCpuTicks(int nPid, uint64_t& ullTicks)
{
    std::ifstream file("/proc/" + std::to_string(nPid) + "/stat");
    if (!file)
    {
        return false;
    }
    std::string strStat;
    std::getline(file, strStat);
    return ParseStatCpuTicks(strStat, ullTicks);
}

} // namespace orvnbot
