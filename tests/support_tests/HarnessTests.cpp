#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "LoopbackOrigins.h"
#include "LoopbackSocket.h"
#include "Socks5Client.h"
#include "TemporaryHome.h"
#include "TestBytes.h"
#include "WaitUntil.h"

using namespace ferrow::test;
using namespace std::chrono_literals;

TEST(ChildProcess, AProgramThatCannotRunIsNotStartedAndExitsWith127)
{
    ChildProcess missing({"/nonexistent/program"}, ChildProcess::Options{});
    EXPECT_FALSE(missing.started());
    EXPECT_FALSE(missing.running());
    EXPECT_EQ(missing.wait(1s), 127);
}

TEST(ChildProcess, EnvironmentStreamsAndDescriptorsReachTheChild)
{
    TemporaryHome home;
    ::setenv("FERROW_HARNESS_VALUE", "inherited", 1);
    int handed[2];
    ASSERT_EQ(::pipe2(handed, O_CLOEXEC), 0);
    ChildProcess::Options options;
    options.output = ChildStream::file(home.root() / "out.log");
    options.errorToOutput = true;
    options.environment = {"FERROW_HARNESS_VALUE=replaced"};
    options.descriptors = {{handed[1], 3}};
    // Found on PATH; the variable once, replaced; standard error after standard output in one file.
    ChildProcess shell({"sh", "-c",
                        "env | grep -c ^FERROW_HARNESS_VALUE=; echo \"$FERROW_HARNESS_VALUE\"; "
                        "echo oops >&2; echo handed >&3"},
                       std::move(options));
    ::close(handed[1]);
    ::unsetenv("FERROW_HARNESS_VALUE");
    ASSERT_TRUE(shell.started());
    EXPECT_EQ(shell.wait(10s), 0);
    EXPECT_EQ(readFile(home.root() / "out.log"), "1\nreplaced\noops\n");
    char buffer[16] = {};
    EXPECT_EQ(::read(handed[0], buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "handed\n");
    ::close(handed[0]);
}

TEST(ChildProcess, StopEscalatesToKillWhenTheSignalIsIgnored)
{
    ChildProcess stubborn({"/bin/sh", "-c", "trap '' TERM; echo ready; while :; do sleep 1; done"});
    ASSERT_EQ(stubborn.readLine(10s), "ready");
    EXPECT_EQ(stubborn.stop(SIGTERM, 300ms), -1);
    EXPECT_FALSE(stubborn.running());

    ChildProcess killed({"/bin/sleep", "30"}, ChildProcess::Options{});
    EXPECT_EQ(killed.stop(SIGKILL), 128 + SIGKILL);
}

TEST(LoopbackOrigins, PooledServerClosesEachConnectionAndHoldingServerKeepsThem)
{
    TcpServer pooled([](int fd) { sendAll(fd, "bye"); }, 2);
    for (int i = 0; i < 3; ++i) {
        Socket client(pooled.port());
        EXPECT_EQ(client.receiveAll(5s), "bye");
    }
    EXPECT_EQ(pooled.accepted(), 3u);

    HoldingServer holding;
    Socket held(holding.port());
    ASSERT_TRUE(waitUntil([&] { return holding.held() == 1; }));
    EXPECT_FALSE(held.peerClosed(200ms));
    holding.release();
    EXPECT_TRUE(held.peerClosed());
}

TEST(Socks5Client, SendsTheRequestOnlyAfterTheGreetingAndReadsTheReplyCode)
{
    std::string request;
    TcpServer proxy([&request](int fd) {
        if (receiveExactly(fd, 3, 5s) != std::string("\x05\x01\x00", 3)) {
            return;
        }
        // Nothing of the request may arrive before the greeting is answered.
        if (!receiveSome(fd, 1, 200ms).empty()) {
            return;
        }
        sendAll(fd, std::string("\x05\x00", 2));
        request = receiveExactly(fd, 5 + 11 + 2, 5s);
        sendAll(fd, std::string("\x05\x02\x00\x01\x00\x00\x00\x00\x00\x00", 10));
    });
    Socket client(proxy.port());
    EXPECT_EQ(socks5Connect(client, "origin.test", 443), 2);
    EXPECT_EQ(request, std::string("\x05\x01\x00\x03\x0b", 5) + "origin.test" + std::string("\x01\xbb", 2));

    TcpServer refusing([](int fd) { sendAll(fd, std::string("\x05\xff", 2)); });
    Socket refused(refusing.port());
    EXPECT_EQ(socks5Connect(refused, "127.0.0.1", 80), -1);
}

TEST(TestBytes, PiecesJoinIntoOneStreamAndTheDigestIsSha256)
{
    EXPECT_EQ(patternBytes(100, 0) + patternBytes(50, 100), patternBytes(150));
    EXPECT_NE(patternBytes(64), patternBytes(64, 1));
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
