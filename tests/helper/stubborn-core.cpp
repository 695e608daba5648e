// A core for tests that ignores SIGTERM. It writes the api-info file it is given, then waits
// (at most a minute) for SIGKILL.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::signal(SIGTERM, SIG_IGN);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-api-info") == 0) {
            const std::string temporary = std::string(argv[i + 1]) + ".tmp";
            if (FILE* file = std::fopen(temporary.c_str(), "w")) {
                std::fputs("{\"address\": \"127.0.0.1:9\", \"secret\": \"stubborn\"}", file);
                std::fclose(file);
                std::rename(temporary.c_str(), argv[i + 1]);
            }
        }
    }
    for (int i = 0; i < 600; ++i) {
        ::usleep(100 * 1000);
    }
    return 0;
}
