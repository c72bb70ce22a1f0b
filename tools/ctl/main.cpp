// orvn-ctl: runs console commands on a running server through its control
// socket.
//
//   orvn-ctl [-s path] [-t timeoutMs] [command ...]
//
// With a command, sends it as one line and prints every line it produced.
// Without one, reads commands from standard input, one a line, and prints
// each answer: a remote console.
// Exit status: 0 the command ran (every command, when reading standard
// input), 1 the server answered that a command is unknown or refused, 2 the
// server cannot be reached (or stopped answering), or bad usage.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ControlProtocol.h"

namespace
{
enum EExit
{
    EXIT_RAN = 0,
    EXIT_REFUSED = 1,
    EXIT_UNREACHABLE = 2,
};

struct SOptions
{
    std::string strPath = CONTROL_DEFAULT_PATH;
    long lTimeoutMs = 30000;
    std::string strCommand;
    bool bHasCommand = false;
};

// One connection to the server; what it read past the last answer stays here.
struct SConnection
{
    int nFd = -1;
    std::string strPending;
};

void PrintUsage()
{
    fprintf(stderr, "usage: orvn-ctl [-s path] [-t timeoutMs] [command ...]\n"
                    "  -s  the server's control socket (default " CONTROL_DEFAULT_PATH ")\n"
                    "  -t  how long to wait for an answer (default 30000)\n"
                    "  without a command, reads commands from standard input\n");
}

bool ParseArguments(int argc, char** argv, SOptions& options)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i += 2)
    {
        if (i + 1 >= argc)
            return false;
        if (strcmp(argv[i], "-s") == 0)
        {
            options.strPath = argv[i + 1];
            continue;
        }
        char* pEnd = nullptr;
        options.lTimeoutMs = strtol(argv[i + 1], &pEnd, 10);
        if (strcmp(argv[i], "-t") != 0 || *pEnd != '\0' || options.lTimeoutMs < 1)
            return false;
    }
    for (; i < argc; ++i)
    {
        options.strCommand += options.bHasCommand ? " " : "";
        options.strCommand += argv[i];
        options.bHasCommand = true;
    }
    return true;
}

bool Connect(const std::string& strPath, SConnection& connection)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (strPath.empty() || strPath.size() >= sizeof(address.sun_path))
    {
        fprintf(stderr, "orvn-ctl: cannot reach the server at %s: the path is too long\n", strPath.c_str());
        return false;
    }
    memcpy(address.sun_path, strPath.c_str(), strPath.size());
    connection.nFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    connection.strPending.clear();
    if (connection.nFd >= 0 &&
        connect(connection.nFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
        return true;
    fprintf(stderr, "orvn-ctl: cannot reach the server at %s: %s\n", strPath.c_str(), strerror(errno));
    if (connection.nFd >= 0)
        close(connection.nFd);
    connection.nFd = -1;
    return false;
}

void Disconnect(SConnection& connection)
{
    if (connection.nFd >= 0)
        close(connection.nFd);
    connection.nFd = -1;
    connection.strPending.clear();
}

// The next line the server sent, without its line end; false on a closed
// connection or when nothing came within the time-out.
bool ReadLine(SConnection& connection, long lTimeoutMs, std::string& strLine)
{
    for (;;)
    {
        const size_t nEnd = connection.strPending.find('\n');
        if (nEnd != std::string::npos)
        {
            strLine.assign(connection.strPending, 0, nEnd);
            connection.strPending.erase(0, nEnd + 1);
            return true;
        }
        pollfd waiting = {connection.nFd, POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(lTimeoutMs)) <= 0)
            return false;
        char achChunk[4096];
        const ssize_t nRead = read(connection.nFd, achChunk, sizeof(achChunk));
        if (nRead <= 0)
            return false;
        connection.strPending.append(achChunk, static_cast<size_t>(nRead));
    }
}

bool SendLine(SConnection& connection, const std::string& strCommand)
{
    const std::string strLine = strCommand + "\n";
    for (size_t nSent = 0; nSent < strLine.size();)
    {
        const ssize_t nWritten =
            send(connection.nFd, strLine.data() + nSent, strLine.size() - nSent, MSG_NOSIGNAL);
        if (nWritten <= 0)
            return false;
        nSent += static_cast<size_t>(nWritten);
    }
    return true;
}

// Sends one command and prints its answer; the exit status it earns.
EExit RunCommand(SConnection& connection, const std::string& strCommand, long lTimeoutMs)
{
    if (!SendLine(connection, strCommand))
    {
        fprintf(stderr, "orvn-ctl: the server closed the connection\n");
        return EXIT_UNREACHABLE;
    }
    std::string strLine;
    while (ReadLine(connection, lTimeoutMs, strLine))
    {
        if (strLine.empty())
            continue;
        const std::string strText = strLine.substr(1);
        switch (strLine[0])
        {
        case CONTROL_TAG_OUTPUT:
            printf("%s\n", strText.c_str());
            break;
        case CONTROL_TAG_END:
            fflush(stdout);
            return strText.size() == 1 && strText[0] == CONTROL_STATUS_RAN ? EXIT_RAN : EXIT_REFUSED;
        case CONTROL_TAG_CLOSING:
            fprintf(stderr, "orvn-ctl: %s\n", strText.c_str());
            return EXIT_UNREACHABLE;
        default:
            break;
        }
    }
    fflush(stdout);
    fprintf(stderr, "orvn-ctl: no answer from the server\n");
    return EXIT_UNREACHABLE;
}

// A connection the server closed while we waited (idle too long) is opened
// again before the next command; one still open shows nothing to read.
bool EnsureConnected(const SOptions& options, SConnection& connection)
{
    pollfd waiting = {connection.nFd, POLLIN, 0};
    if (connection.nFd >= 0 && poll(&waiting, 1, 0) == 0)
        return true;
    Disconnect(connection);
    return Connect(options.strPath, connection);
}

int RunInteractive(const SOptions& options, SConnection& connection)
{
    const bool bTerminal = isatty(STDIN_FILENO) != 0;
    int nExit = EXIT_RAN;
    std::string strCommand;
    for (;;)
    {
        if (bTerminal)
            fprintf(stderr, "orvn> ");
        char achLine[4096];
        if (!fgets(achLine, sizeof(achLine), stdin))
            break;
        strCommand += achLine;
        if (strCommand.empty() || strCommand.back() != '\n')
        {
            if (!feof(stdin))
                continue;
        }
        while (!strCommand.empty() && (strCommand.back() == '\n' || strCommand.back() == '\r'))
            strCommand.pop_back();
        if (strCommand.find_first_not_of(" \t") == std::string::npos)
        {
            strCommand.clear();
            continue;
        }
        if (!EnsureConnected(options, connection))
            return EXIT_UNREACHABLE;
        const EExit eExit = RunCommand(connection, strCommand, options.lTimeoutMs);
        strCommand.clear();
        if (eExit == EXIT_UNREACHABLE)
            return EXIT_UNREACHABLE;
        if (eExit == EXIT_REFUSED)
            nExit = EXIT_REFUSED;
    }
    return nExit;
}
} // namespace

int main(int argc, char** argv)
{
    SOptions options;
    if (!ParseArguments(argc, argv, options))
    {
        PrintUsage();
        return EXIT_UNREACHABLE;
    }
    SConnection connection;
    if (!Connect(options.strPath, connection))
        return EXIT_UNREACHABLE;
    const int nExit = options.bHasCommand ? RunCommand(connection, options.strCommand, options.lTimeoutMs)
                                          : RunInteractive(options, connection);
    Disconnect(connection);
    return nExit;
}
