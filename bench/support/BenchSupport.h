#pragma once

// What the benchmarks that drive real programs add to the tests' loopback plumbing (processes,
// sockets, origins): connections through peers, rates, and the peers' memory.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "ChildProcess.h"
#include "LoopbackOrigins.h"
#include "LoopbackSocket.h"

namespace ferrow::bench {

using test::ChildProcess;
using test::freePort;
using test::HoldingServer;
using test::receiveExactly;
using test::sendAll;
using test::TcpServer;

/// A connected client socket to 127.0.0.1:`port` (TCP_NODELAY, 10 s receive time-out), or -1.
int connectTo(std::uint16_t port);
/// A SOCKS5 CONNECT to 127.0.0.1:`originPort` through the proxy on `proxyPort`. The socket or -1.
int socks5Connect(std::uint16_t proxyPort, std::uint16_t originPort);
/// Reads from `fd` until the peer closes, then closes it: Gbit/s, or 0 when fewer than `expected`
/// bytes came.
double receiveAllGbit(int fd, std::size_t expected);

struct RateResult {
    double perSecond = 0;
    double p99Ms = 0; // connect to the last byte of the answer
};
/// `concurrency` clients for `window`, each in a loop: `open` a connection, send an HTTP/1.0 GET,
/// read a 1 KiB answer. Prints a line under `name` when more than 1 % failed.
RateResult connectionRate(const std::string& name, const std::function<int()>& open, int concurrency,
                          std::chrono::seconds window);

/// Line-buffered output, no SIGPIPE, and as many descriptors as the system allows.
void prepareBenchProcess();
/// Origin handlers: sends `bytes` of filler; or reads an HTTP request head and answers 1 KiB
/// (HTTP/1.0).
void sendFiller(int fd, std::size_t bytes);
void answerOneKiB(int fd);

/// The resident set of a process, in KiB.
long residentKiB(pid_t pid);
/// CPU time (user + system) a process has used so far, in milliseconds.
double cpuMs(pid_t pid);
/// A connection rate with the CPU two processes spent on it.
struct CpuPerThousand {
    double rate = 0;  // connections per second
    double p99Ms = 0; // of the connections measured
    double cpuMs = 0; // per 1,000 connections
    double otherCpuMs = 0;
};
/// connectionRate() through `open`, with the CPU that `pid` (and `otherPid` when not 0) spent
/// per 1,000 connections meanwhile.
CpuPerThousand rateWithCpu(const std::string& name, const std::function<int()>& open, int concurrency,
                           std::chrono::seconds window, pid_t pid, pid_t otherPid = 0);
/// `value` / `peer`, 0 when the peer has no figure.
double ratioOf(double value, double peer);
/// Starts a program (searched on PATH) with its output discarded; null when it could not start.
std::shared_ptr<ChildProcess> spawn(const std::vector<std::string>& arguments);
/// Waits (bounded, about 5 s) until something accepts on 127.0.0.1:`port`.
bool waitForPort(std::uint16_t port);

} // namespace ferrow::bench
