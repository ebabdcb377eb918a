#include "exceptionguard.h"

#include <exception>
#include <iostream>
#include <typeinfo>

namespace oxlconsole {

int runGuarded(const std::function<int()> &body)
{
    try {
        return body();
    } catch (const std::exception &e) {
        // A plain std::exception carries no description of its own; the library's name for it
        // would tell the client nothing.
        std::cout << (typeid(e) == typeid(std::exception) ? "Unknown exception" : e.what());
        std::cout.flush();
        return 0;
    }
}

} // namespace oxlconsole
