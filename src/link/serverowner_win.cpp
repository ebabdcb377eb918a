#include "serverowner.h"

#include <QLocalSocket>

#include <memory>

#include <windows.h>

namespace oxlconsole {

namespace {

// The TokenUser information of a process's token, whose SID is its user; null when a query fails.
std::unique_ptr<BYTE[]> processUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<BYTE[]>(size);
    const bool queried = size > 0 && GetTokenInformation(token, TokenUser, user.get(), size, &size);
    CloseHandle(token);
    return queried ? std::move(user) : nullptr;
}

PSID sidOf(const std::unique_ptr<BYTE[]> &user)
{
    return reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
}

} // namespace

// A desktop application that the same user runs elevated has that user's SID in its token,
// and limited query rights suffice to open it.
bool ServerOwner::isAccepted(const QLocalSocket *socket)
{
    ULONG serverId = 0;
    if (!GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(socket->socketDescriptor()), &serverId))
        return false;
    const HANDLE server = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId);
    if (!server)
        return false;
    const std::unique_ptr<BYTE[]> user = processUser(server);
    CloseHandle(server);
    return user && isAcceptedUser(sidOf(user));
}

bool ServerOwner::isAcceptedUser(void *user)
{
    if (IsWellKnownSid(user, WinLocalSystemSid))
        return true;
    const std::unique_ptr<BYTE[]> own = processUser(GetCurrentProcess());
    return own && EqualSid(user, sidOf(own));
}

} // namespace oxlconsole
