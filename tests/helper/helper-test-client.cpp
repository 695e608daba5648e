// A client of the helper for tests, run as its own process so that its executable (signed or
// not) is what the helper vets: helper-test-client SOCKET [--hold] LINE...
// Prints one reply per line; with --hold keeps the connection until standard input closes (and
// prints "dropped" if the helper closes it first); with
// --linger also closes it then, prints "closed" and keeps running until killed.
// With --fork asks for the version, forks and exits, and its child sends the lines once standard
// input closes: the connection outlives the process the helper vetted.
// Exit status 0 when every line got a reply, 3 when the helper closed the connection first.

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    const std::string path = argv[1];
    int first = 2;
    const bool linger = argc > 2 && std::strcmp(argv[2], "--linger") == 0;
    const bool hold = linger || (argc > 2 && std::strcmp(argv[2], "--hold") == 0);
    const bool forking = argc > 2 && std::strcmp(argv[2], "--fork") == 0;
    if (hold || forking) {
        first = 3;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        return 2;
    }
    path.copy(address.sun_path, path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return 2;
    }
    std::string buffer;
    if (forking) {
        // Once the version is answered the helper has vetted this process.
        const std::string ask = "{\"id\": 0, \"method\": \"getVersion\"}\n";
        char block[256];
        if (::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(ask.size()) ||
            ::recv(fd, block, sizeof block, 0) <= 0) {
            return 3;
        }
        std::printf("vetted %d\n", static_cast<int>(::getpid()));
        std::fflush(stdout);
        if (::fork() != 0) {
            return 0;
        }
        char ignored[64];
        while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
        }
    }
    int replies = 0;
    for (int i = first; i < argc; ++i) {
        const std::string line = std::string(argv[i]) + "\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
            break;
        }
        while (buffer.find('\n') == std::string::npos) {
            char block[4096];
            const ssize_t got = ::recv(fd, block, sizeof block, 0);
            if (got <= 0) {
                break;
            }
            buffer.append(block, static_cast<std::size_t>(got));
        }
        const std::size_t end = buffer.find('\n');
        if (end == std::string::npos) {
            break;
        }
        std::printf("%s\n", buffer.substr(0, end).c_str());
        std::fflush(stdout);
        buffer.erase(0, end + 1);
        ++replies;
    }
    if (hold) {
        // Until standard input closes; a helper that closes first is reported.
        for (;;) {
            pollfd entries[2] = {{STDIN_FILENO, POLLIN, 0}, {fd, POLLIN, 0}};
            ::poll(entries, 2, -1);
            char ignored[64];
            if (entries[1].revents != 0 && ::recv(fd, ignored, sizeof ignored, MSG_PEEK) <= 0) {
                std::printf("dropped\n");
                std::fflush(stdout);
                return 3;
            }
            if (entries[0].revents != 0 && ::read(STDIN_FILENO, ignored, sizeof ignored) <= 0) {
                break;
            }
        }
    }
    ::close(fd);
    if (linger) {
        std::printf("closed\n");
        std::fflush(stdout);
        for (;;) {
            ::pause();
        }
    }
    return replies == argc - first ? 0 : 3;
}
