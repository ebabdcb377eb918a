#include "linkobstacle.h"

#include <windows.h>

LinkObstacle::~LinkObstacle()
{
    for (auto it = m_held.crbegin(); it != m_held.crend(); ++it)
        CloseHandle(HANDLE(*it));
}

bool LinkObstacle::place(Kind kind, BridgeProcess &)
{
    switch (kind) {
    case Nothing:
        return true;
    case PipeTaken: {
        // The pipe's only instance, with a client of its own.
        const wchar_t name[] = L"\\\\.\\pipe\\OXL";
        const HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
        if (server == INVALID_HANDLE_VALUE)
            return false;
        m_held.append(qintptr(server));
        const HANDLE client = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (client == INVALID_HANDLE_VALUE)
            return false;
        m_held.append(qintptr(client));
        return true;
    }
    default:
        return false;
    }
}
