// A client of the helper for tests, run as its own process so that its executable (signed or
// not) is what the helper vets: helper-test-client SOCKET [--hold] LINE...
// Prints one reply per line; with --hold keeps the connection until standard input closes; with
// --linger also closes it then, prints "closed" and keeps running until killed.
// Exit status 0 when every line got a reply, 3 when the helper closed the connection first.

#include <cstdio>
#include <cstring>
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
    if (hold) {
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
    int replies = 0;
    std::string buffer;
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
        char ignored[64];
        while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
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
