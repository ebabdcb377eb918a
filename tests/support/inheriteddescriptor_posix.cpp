#include "inheriteddescriptor.h"

#include <fcntl.h>
#include <unistd.h>

InheritedDescriptor::InheritedDescriptor(int number)
{
    const int fd = ::open("/dev/null", O_RDONLY);
    if (fd < 0)
        return;
    if (::dup2(fd, number) == number)
        m_number = number;
    if (fd != number)
        ::close(fd);
}

InheritedDescriptor::~InheritedDescriptor()
{
    if (m_number >= 0)
        ::close(m_number);
}
