#include "endprocess.h"

#include <csignal>

void endProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGTERM);
}
