#include "exceptionguard.h"

#include "standardoutput.h"

#include <cstring>
#include <exception>
#include <typeinfo>

namespace oxlconsole {

int runGuarded(const std::function<int()> &body)
{
    try {
        return body();
    } catch (const std::exception &e) {
        // A plain std::exception carries no description of its own; the library's name for it
        // would tell the client nothing.
        const char *text = typeid(e) == typeid(std::exception) ? "Unknown exception" : e.what();
        StandardOutput::write(text, qint64(std::strlen(text)));
        // A bridge that failed must not look to its client as if it had ended well.
        return 1;
    }
}

} // namespace oxlconsole
