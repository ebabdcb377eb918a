// Plays the client and the desktop application around a relay program and measures it:
// a flood of client lines, a stream of desktop texts, ping-pongs, and the relay's peak
// resident memory during the flood. Relays are run in turn for each repetition, so that
// the load of a noisy machine falls on all of them alike.
//
//   relaybench [--reps N] [--lines N] [--mib N] [--pings N] [--only flood|stream|ping] NAME=COMMAND...
//
// Each COMMAND runs under /bin/sh with TMPDIR set to a fresh directory in which this
// program serves the local socket OXL; the first relay named is the one compared with
// the others.
//
// Every byte that arrives is checked: a relay that alters bytes, or leaves them missing for
// 30 s, ends the run with status 1.

#include "writeall.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int LineSize = 64;
constexpr size_t BlockSize = 64 * 1024;
// How long a relay may leave the benchmark waiting for bytes before the run fails: a relay
// that loses bytes ends the run instead of holding it up for good.
constexpr int StallMs = 30000;
const char Greeting[] = "ready";

struct Options
{
    int repetitions = 5;
    long lines = 1000000;
    long mebibytes = 200;
    int pings = 20000;
    int warmUpPings = 200;
    std::string only;
};

struct Relay
{
    std::string name;
    std::string command;
};

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what + (errno ? std::string(": ") + std::strerror(errno) : std::string()));
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void setNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// A memory figure of a running process from its status file (VmHWM: peak resident, VmRSS:
// resident now), in KiB.
long residentKiB(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    }
    return -1;
}

// One relay process between the pipes of a client and a socket served by the desktop side.
class Session
{
public:
    Session(const Relay &relay)
    {
        char directory[] = "/tmp/relaybench.XXXXXX";
        if (!mkdtemp(directory))
            fail("mkdtemp");
        m_directory = directory;
        m_socketPath = m_directory + "/OXL";
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_socketPath.c_str());
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || listen(m_listener, 1) != 0)
            fail("listen " + m_socketPath);

        int toRelay[2], fromRelay[2];
        if (pipe2(toRelay, O_CLOEXEC) != 0 || pipe2(fromRelay, O_CLOEXEC) != 0)
            fail("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(toRelay[0], STDIN_FILENO);
            dup2(fromRelay[1], STDOUT_FILENO);
            setenv("TMPDIR", m_directory.c_str(), 1);
            const std::string script = "exec " + relay.command;
            execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(toRelay[0]);
        close(fromRelay[1]);
        m_input = toRelay[1];
        m_output = fromRelay[0];

        pollfd pending = {m_listener, POLLIN, 0};
        if (poll(&pending, 1, 15000) != 1)
            fail(relay.name + " did not connect");
        m_desktop = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_desktop < 0)
            fail("accept");
        // The greeting tells the client that the link is up.
        writeOrFail(m_desktop, Greeting, sizeof Greeting - 1);
        readText(sizeof Greeting - 1, nullptr);
    }

    ~Session()
    {
        if (m_input >= 0)
            close(m_input);
        if (m_desktop >= 0)
            close(m_desktop);
        setNonBlocking(m_output, false);
        char sink[BlockSize];
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        int status;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            pollfd output = {m_output, POLLIN, 0};
            if (poll(&output, 1, 100) == 1 && read(m_output, sink, sizeof sink) <= 0)
                output.fd = -1;
            if (Clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
        }
        close(m_output);
        close(m_listener);
        unlink(m_socketPath.c_str());
        rmdir(m_directory.c_str());
    }

    // Writes count lines of LineSize bytes, each ending in a line feed, and returns the time
    // from the first byte written until the desktop side has received the last one.
    double flood(const std::vector<char> &lines, long *idleKiB, long *peakKiB)
    {
        *idleKiB = residentKiB(m_pid, "VmRSS:");
        setNonBlocking(m_input, true);
        setNonBlocking(m_desktop, true);
        setNonBlocking(m_output, true);
        const size_t total = lines.size();
        size_t written = 0, received = 0;
        std::vector<char> buffer(BlockSize);
        const Clock::time_point start = Clock::now();
        while (received < total) {
            pollfd fds[3] = {{written < total ? m_input : -1, POLLOUT, 0}, {m_desktop, POLLIN, 0},
                             {m_output, POLLIN, 0}};
            if (poll(fds, 3, StallMs) <= 0)
                fail("flood stalled");
            if (fds[0].revents & POLLOUT) {
                const ssize_t n = write(m_input, lines.data() + written, std::min(BlockSize, total - written));
                if (n > 0)
                    written += size_t(n);
            }
            if (fds[1].revents) {
                const ssize_t n = read(m_desktop, buffer.data(), buffer.size());
                if (n <= 0)
                    fail("desktop side closed during flood");
                if (received + size_t(n) > total || std::memcmp(buffer.data(), lines.data() + received, size_t(n)) != 0)
                    fail("flood arrived altered at byte " + std::to_string(received));
                received += size_t(n);
            }
            if (fds[2].revents)
                while (read(m_output, buffer.data(), buffer.size()) > 0) {
                }
        }
        const double elapsed = seconds(Clock::now() - start);
        *peakKiB = residentKiB(m_pid, "VmHWM:");
        return elapsed;
    }

    // Sends text from the desktop side in writes of BlockSize bytes and returns the time from
    // the first byte written until the client has read all of it.
    double stream(const std::vector<char> &text)
    {
        setNonBlocking(m_desktop, true);
        setNonBlocking(m_output, true);
        const size_t total = text.size();
        size_t sent = 0, arrived = 0;
        std::vector<char> buffer(BlockSize);
        const Clock::time_point start = Clock::now();
        while (arrived < total) {
            pollfd fds[2] = {{sent < total ? m_desktop : -1, POLLOUT, 0}, {m_output, POLLIN, 0}};
            if (poll(fds, 2, StallMs) <= 0)
                fail("stream stalled");
            if (fds[0].revents & POLLOUT) {
                const size_t chunk = BlockSize - sent % BlockSize;
                const ssize_t n = write(m_desktop, text.data() + sent, std::min(chunk, total - sent));
                if (n > 0)
                    sent += size_t(n);
            }
            if (fds[1].revents) {
                const ssize_t n = read(m_output, buffer.data(), buffer.size());
                if (n <= 0)
                    fail("client side closed during stream");
                arrived = checkText(buffer.data(), size_t(n), text, arrived);
            }
        }
        return seconds(Clock::now() - start);
    }

    // Round trips of one line: the client writes it, the desktop side echoes its text, and
    // the client waits for the echo. Returns the time of each in microseconds.
    std::vector<double> pingPong(int count, int warmUp)
    {
        setNonBlocking(m_input, false);
        setNonBlocking(m_desktop, false);
        setNonBlocking(m_output, false);
        std::vector<char> line(LineSize, 'p');
        line.back() = '\n';
        std::vector<char> echo(LineSize);
        std::vector<double> times;
        times.reserve(size_t(count));
        for (int i = 0; i < warmUp + count; ++i) {
            std::snprintf(line.data(), LineSize, "%0*d", LineSize - 1, i);
            line.back() = '\n';
            const Clock::time_point start = Clock::now();
            writeOrFail(m_input, line.data(), line.size());
            readAll(m_desktop, echo.data(), echo.size());
            writeOrFail(m_desktop, echo.data(), echo.size() - 1);
            std::vector<char> expected(line.begin(), line.end() - 1);
            readText(expected.size(), &expected);
            const double elapsed = seconds(Clock::now() - start) * 1e6;
            if (std::memcmp(echo.data(), line.data(), line.size()) != 0)
                fail("ping arrived altered");
            if (i >= warmUp)
                times.push_back(elapsed);
        }
        return times;
    }

private:
    static void writeOrFail(int fd, const char *data, size_t size)
    {
        errno = oxlconsole::writeAll(fd, data, ssize_t(size));
        if (errno != 0)
            fail("write");
    }

    static void awaitReadable(int fd)
    {
        pollfd pending = {fd, POLLIN, 0};
        if (poll(&pending, 1, StallMs) <= 0)
            fail("read stalled");
    }

    static void readAll(int fd, char *data, size_t size)
    {
        while (size > 0) {
            awaitReadable(fd);
            const ssize_t n = read(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("read");
            data += n;
            size -= size_t(n);
        }
    }

    // The relay ends each text it passes on with a line feed wherever its reads ended; the
    // text itself holds none, so line feeds are skipped and the rest must match.
    static size_t checkText(const char *data, size_t size, const std::vector<char> &text, size_t offset)
    {
        const char *end = data + size;
        while (data < end) {
            const char *lineFeed = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
            const size_t length = size_t((lineFeed ? lineFeed : end) - data);
            if (offset + length > text.size() || std::memcmp(data, text.data() + offset, length) != 0)
                fail("text arrived altered at byte " + std::to_string(offset));
            offset += length;
            data += length + (lineFeed ? 1 : 0);
        }
        return offset;
    }

    // Reads the client's output until size bytes of text, line feeds aside, have arrived.
    void readText(size_t size, const std::vector<char> *expected)
    {
        std::vector<char> got;
        char buffer[BlockSize];
        while (got.size() < size) {
            awaitReadable(m_output);
            const ssize_t n = read(m_output, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("client side closed");
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n')
                    got.push_back(buffer[i]);
            }
        }
        if (got.size() != size || (expected && got != *expected))
            fail("reply arrived altered");
    }

    std::string m_directory;
    std::string m_socketPath;
    int m_listener = -1;
    int m_desktop = -1;
    int m_input = -1;
    int m_output = -1;
    pid_t m_pid = -1;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

struct Measure
{
    std::string label;
    std::string unit;
    std::map<std::string, std::vector<double>> byRelay;
};

std::string format(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.3g", value);
    return text;
}

// Ratios are taken per repetition, between runs made one right after the other, and their
// median is shown: the load of a shared machine drifts less between neighbours than over the
// whole run.
void printTable(const std::vector<Measure> &measures, const std::vector<Relay> &relays)
{
    std::printf("\n| workload | unit |");
    for (const Relay &relay : relays)
        std::printf(" %s median (min-max) |", relay.name.c_str());
    for (size_t i = 1; i < relays.size(); ++i)
        std::printf(" %s / %s median (min-max) |", relays[0].name.c_str(), relays[i].name.c_str());
    std::printf("\n|---|---|");
    for (size_t i = 0; i < 2 * relays.size() - 1; ++i)
        std::printf("---|");
    std::printf("\n");
    const auto range = [](const std::vector<double> &values) {
        return format(median(values)) + " (" + format(*std::min_element(values.begin(), values.end())) + "-"
            + format(*std::max_element(values.begin(), values.end())) + ")";
    };
    for (const Measure &measure : measures) {
        if (measure.byRelay.empty())
            continue;
        std::printf("| %s | %s |", measure.label.c_str(), measure.unit.c_str());
        for (const Relay &relay : relays)
            std::printf(" %s |", range(measure.byRelay.at(relay.name)).c_str());
        const std::vector<double> &base = measure.byRelay.at(relays[0].name);
        for (size_t i = 1; i < relays.size(); ++i) {
            const std::vector<double> &other = measure.byRelay.at(relays[i].name);
            std::vector<double> ratios;
            for (size_t r = 0; r < base.size(); ++r)
                ratios.push_back(base[r] / other[r]);
            std::printf(" %s |", range(ratios).c_str());
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char *argv[])
{
    signal(SIGPIPE, SIG_IGN);
    Options options;
    std::vector<Relay> relays;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--reps" && hasValue)
            options.repetitions = std::atoi(argv[++i]);
        else if (argument == "--lines" && hasValue)
            options.lines = std::atol(argv[++i]);
        else if (argument == "--mib" && hasValue)
            options.mebibytes = std::atol(argv[++i]);
        else if (argument == "--pings" && hasValue)
            options.pings = std::atoi(argv[++i]);
        else if (argument == "--only" && hasValue)
            options.only = argv[++i];
        else if (argument.find('=') != std::string::npos)
            relays.push_back({argument.substr(0, argument.find('=')), argument.substr(argument.find('=') + 1)});
        else {
            std::fprintf(stderr, "usage: %s [--reps N] [--lines N] [--mib N] [--pings N] [--only flood|stream|ping] NAME=COMMAND...\n", argv[0]);
            return 2;
        }
    }
    if (relays.empty() || options.repetitions < 1 || options.lines < 10 || options.pings < 1) {
        std::fprintf(stderr, "relaybench: nothing to measure\n");
        return 2;
    }

    std::vector<char> lines(size_t(options.lines) * LineSize);
    for (long i = 0; i < options.lines; ++i) {
        char *line = lines.data() + size_t(i) * LineSize;
        std::snprintf(line, LineSize, "%0*ld", LineSize - 1, i);
        line[LineSize - 1] = '\n';
    }
    std::vector<char> text(size_t(options.mebibytes) * 1024 * 1024);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char('!' + i % 89);

    const std::string flood = "client to desktop, " + std::to_string(options.lines) + " lines of 64 bytes";
    const std::string stream = "desktop to client, " + std::to_string(options.mebibytes) + " MiB";
    std::vector<Measure> measures = {
        {flood, "s", {}},
        {stream, "s", {}},
        {"round trip p50", "us", {}},
        {"round trip p99", "us", {}},
        {"resident before the flood", "MB", {}},
        {"peak resident during the flood", "MB", {}},
    };
    const auto wanted = [&options](const char *workload) { return options.only.empty() || options.only == workload; };
    try {
        for (int repetition = 1; repetition <= options.repetitions; ++repetition) {
            for (const Relay &relay : relays) {
                if (!wanted("flood"))
                    break;
                long idle, peak;
                const double floodTime = Session(relay).flood(lines, &idle, &peak);
                measures[0].byRelay[relay.name].push_back(floodTime);
                measures[4].byRelay[relay.name].push_back(double(idle) / 1024);
                measures[5].byRelay[relay.name].push_back(double(peak) / 1024);
                std::fprintf(stderr, "[%d] %-8s flood %.3f s, resident %ld KiB before, peak %ld KiB\n",
                             repetition, relay.name.c_str(), floodTime, idle, peak);
            }
            for (const Relay &relay : relays) {
                if (!wanted("stream"))
                    break;
                const double streamTime = Session(relay).stream(text);
                measures[1].byRelay[relay.name].push_back(streamTime);
                std::fprintf(stderr, "[%d] %-8s stream %.3f s\n", repetition, relay.name.c_str(), streamTime);
            }
            for (const Relay &relay : relays) {
                if (!wanted("ping"))
                    break;
                const std::vector<double> times = Session(relay).pingPong(options.pings, options.warmUpPings);
                measures[2].byRelay[relay.name].push_back(percentile(times, 0.50));
                measures[3].byRelay[relay.name].push_back(percentile(times, 0.99));
                std::fprintf(stderr, "[%d] %-8s ping p50 %.1f us, p99 %.1f us\n", repetition, relay.name.c_str(),
                             percentile(times, 0.50), percentile(times, 0.99));
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "relaybench: %s\n", e.what());
        return 1;
    }
    printTable(measures, relays);
    return 0;
}
