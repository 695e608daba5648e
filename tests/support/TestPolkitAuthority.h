#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>

#include "PrivateBusService.h"

#include <systemd/sd-bus.h>

namespace ferrow::test {

/// A private message bus with a small polkit authority on it: answers CheckAuthorization with
/// the decision the test sets, and remembers the subject of the last question.
class TestPolkitAuthority {
public:
    enum class Decision { Allow, Deny };

    /// The bus's socket goes into `folder`.
    explicit TestPolkitAuthority(const std::filesystem::path& folder);
    TestPolkitAuthority(const TestPolkitAuthority&) = delete;
    TestPolkitAuthority& operator=(const TestPolkitAuthority&) = delete;

    std::string busAddress() const { return m_service.address(); }
    void setDecision(Decision decision) { m_allow = decision == Decision::Allow; }
    /// Like polkit, which finds the session of whatever process holds the subject's id now:
    /// allows only when that id belongs to `pid` and the subject's start time is that process's.
    void allowOnlyProcess(pid_t pid) { m_onlyPid = pid; }
    /// Runs before each answer (on the bus's thread).
    void setBeforeAnswer(std::function<void()> hook);
    /// Leaves the bus: questions then find nobody to answer.
    void withdraw();

    struct Question {
        std::string kind;
        std::string action;
        pid_t pid = 0;
        uid_t uid = 0;
        std::uint64_t startTime = 0;
        int count = 0;
    };
    Question lastQuestion() const;

private:
    int answer(sd_bus_message* message);

public:
    static int onCheckThunk(sd_bus_message* message, void* self, sd_bus_error* error);

private:
    std::atomic<bool> m_allow{true};
    std::atomic<pid_t> m_onlyPid{0};
    std::function<void()> m_beforeAnswer;
    mutable std::mutex m_lock;
    Question m_last;
    // Last: its thread answers into the members above until it ends.
    PrivateBusService m_service;
};

} // namespace ferrow::test
