#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TemporaryHome.h"

using namespace ferrow::test;
using namespace std::chrono_literals;

namespace {

std::string exchange(std::uint16_t port, const std::string& request)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string answer;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return answer;
}

} // namespace

TEST(TemporaryHome, PointsXdgFoldersInsideAndRestoresThem)
{
    const std::string before = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::filesystem::path root;
    {
        TemporaryHome home;
        root = home.root();
        EXPECT_EQ(std::string(std::getenv("XDG_DATA_HOME")), home.dataHome().string());
        EXPECT_EQ(std::string(std::getenv("XDG_CONFIG_HOME")), home.configHome().string());
        writeFile(home.dataHome() / "Ferrow" / "x.txt", "abc");
        EXPECT_EQ(readFile(home.dataHome() / "Ferrow" / "x.txt"), "abc");
    }
    EXPECT_FALSE(std::filesystem::exists(root));
    EXPECT_EQ(std::string(std::getenv("HOME") ? std::getenv("HOME") : ""), before);
}

TEST(LoopbackHttpServer, RecordsMethodTargetHeadersAndBody)
{
    LoopbackHttpServer server;
    server.setResponse(200, "{\"ok\":true}");
    const std::string answer =
        exchange(server.port(), "POST /reload?x=1 HTTP/1.1\r\nHost: a\r\n"
                                "Authorization: Bearer s3\r\nContent-Length: 5\r\n\r\nhello");
    ASSERT_TRUE(server.waitForRequests(1, 2s));
    const RecordedRequest request = server.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/reload?x=1");
    EXPECT_EQ(request.header("authorization"), "Bearer s3");
    EXPECT_EQ(request.body, "hello");
    EXPECT_NE(answer.find("{\"ok\":true}"), std::string::npos);
}

TEST(LoopbackHttpServer, IgnoresGarbageAndKeepsServing)
{
    LoopbackHttpServer server;
    exchange(server.port(), "not http at all\r\n\r\n");
    exchange(server.port(), "GET /status HTTP/1.1\r\nHost: a\r\n\r\n");
    ASSERT_TRUE(server.waitForRequests(1, 2s));
    EXPECT_EQ(server.requests().back().target, "/status");
    EXPECT_FALSE(server.waitForRequests(3, 50ms));
}
