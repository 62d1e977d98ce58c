// A listener for the test runs: holds a TCP port on 127.0.0.1 where a real service would listen and
// writes one line per connection it receives (the time and the request's first line) to a log file,
// answering each with status 503. Used to show that a run of the tests asks no service of the machine.
// Exits 1 at once, before writing "ready", when the port cannot be taken (another program holds it).
// Plain POSIX and the C++ library only: the stress script builds it with g++ before the project is built.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// The request's first line, at most 200 bytes, read within a second; "" when none came.
std::string FirstLine(int fd)
{
    timeval wait{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string line;
    char c = 0;
    while (line.size() < 200 && read(fd, &c, 1) == 1 && c != '\n') {
        if (c != '\r')
            line += c;
    }
    return line;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: request_trap <port> <log file> <ready file>\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const int port = std::atoi(argv[1]);
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    // Connections of an earlier run waiting out their close do not hold the port; a listener does.
    const int reuse = 1;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (server < 0 || bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(server, 64) != 0) {
        std::fprintf(stderr, "request_trap: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return 1;
    }
    if (FILE *ready = std::fopen(argv[3], "w"))
        std::fclose(ready);
    for (;;) {
        const int fd = accept(server, nullptr, nullptr);
        if (fd < 0)
            continue;
        const std::string line = FirstLine(fd);
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
        if (FILE *log = std::fopen(argv[2], "a")) {
            std::fprintf(log, "%s %s\n", stamp, line.empty() ? "(a connection without a request)" : line.c_str());
            std::fclose(log);
        }
        static const char reply[] = "HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n";
        (void)!write(fd, reply, sizeof reply - 1);
        close(fd);
    }
}
