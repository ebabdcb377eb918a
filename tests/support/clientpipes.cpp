#include "clientpipes.h"

ClientPipes::ClientPipes()
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    CreatePipe(&m_bridgeInput, &m_input, &inheritable, 0);
    CreatePipe(&m_output, &m_bridgeOutput, &inheritable, 0);
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
}

ClientPipes::~ClientPipes()
{
    for (HANDLE handle : {m_input, m_output, m_bridgeInput, m_bridgeOutput}) {
        if (handle)
            CloseHandle(handle);
    }
}

void ClientPipes::attach(QProcess &process)
{
    process.setCreateProcessArgumentsModifier([this](QProcess::CreateProcessArguments *args) {
        args->startupInfo->hStdInput = m_bridgeInput;
        args->startupInfo->hStdOutput = m_bridgeOutput;
    });
}

void ClientPipes::releaseBridgeEnds()
{
    CloseHandle(m_bridgeInput);
    CloseHandle(m_bridgeOutput);
    m_bridgeInput = m_bridgeOutput = nullptr;
}

bool ClientPipes::write(const QByteArray &bytes)
{
    DWORD written = 0;
    return WriteFile(m_input, bytes.constData(), DWORD(bytes.size()), &written, nullptr)
        && written == DWORD(bytes.size());
}

void ClientPipes::closeInput()
{
    CloseHandle(m_input);
    m_input = nullptr;
}

QByteArray ClientPipes::output()
{
    drain();
    return m_received;
}

bool ClientPipes::drain()
{
    DWORD available = 0;
    if (!PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr))
        return false;
    if (available > 0) {
        QByteArray chunk(int(available), '\0');
        DWORD count = 0;
        if (ReadFile(m_output, chunk.data(), available, &count, nullptr))
            m_received += chunk.left(int(count));
    }
    return true;
}
