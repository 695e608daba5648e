// The connection registry, policy groups and log written from several threads at once.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ConnectionRegistry.h"
#include "LogStream.h"
#include "PolicyGroups.h"

using namespace ferrow::core;
using RecordPtr = std::shared_ptr<ConnectionRecord>;

namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

// Calls `read` on this thread until every worker has finished, within a bounded time.
template <typename Read>
void readWhile(std::vector<std::jthread>& workers, std::atomic<int>& finished, Read read)
{
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    for (int round = 0; round < 1'000'000 && finished.load() < static_cast<int>(workers.size()) &&
                        std::chrono::steady_clock::now() < until;
         ++round) {
        read();
    }
    workers.clear();
}

std::vector<std::uint64_t> ids(const nlohmann::json& list)
{
    std::vector<std::uint64_t> out;
    for (const auto& item : list) {
        out.push_back(item["id"].get<std::uint64_t>());
    }
    return out;
}

} // namespace

TEST(ConcurrentRegistry, ThreadsOpenAndCloseWhileTheMainThreadReads)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    ConnectionRegistry registry(100);
    std::atomic<int> finished{0};
    std::vector<std::jthread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&] {
            std::vector<RecordPtr> held;
            for (int i = 0; i < kEach; ++i) {
                auto record = registry.create();
                if (i % 5 != 0) { // every fifth is refused before it is listed
                    registry.publish(record);
                }
                held.push_back(std::move(record));
                if (held.size() == 8) {
                    for (const auto& each : held) {
                        registry.close(each);
                    }
                    held.clear();
                }
            }
            for (const auto& each : held) {
                registry.close(each);
            }
            ++finished;
        });
    }
    std::vector<RecordPtr> taken;
    const auto take = [&] {
        auto batch = registry.takeRecentlyClosed();
        EXPECT_TRUE(std::is_sorted(batch.begin(), batch.end(), [](const auto& a, const auto& b) {
            return a->closeOrder < b->closeOrder;
        }));
        taken.insert(taken.end(), batch.begin(), batch.end());
    };
    readWhile(workers, finished, [&] {
        std::uint64_t last = 0;
        registry.forEachOpen([&](const RecordPtr& record) {
            EXPECT_GT(record->id, last);
            last = record->id;
        });
        EXPECT_LE(registry.toJson().size(), std::size_t(kThreads * 8 + 100))
            << "each thread holds at most 8 open";
        take();
    });
    take();

    ASSERT_EQ(finished.load(), kThreads);
    EXPECT_EQ(registry.openCount(), 0u);
    ASSERT_EQ(taken.size(), std::size_t(kThreads * kEach)) << "every record closes exactly once";
    std::set<std::uint64_t> unique;
    for (const auto& record : taken) {
        unique.insert(record->id);
    }
    EXPECT_EQ(unique.size(), taken.size());
    EXPECT_EQ(*unique.begin(), 1u);
    EXPECT_EQ(*unique.rbegin(), std::uint64_t(kThreads * kEach));

    std::sort(taken.begin(), taken.end(),
              [](const auto& a, const auto& b) { return a->closeOrder < b->closeOrder; });
    std::vector<std::uint64_t> newest;
    for (auto it = taken.end() - 100; it != taken.end(); ++it) {
        newest.push_back((*it)->id);
    }
    EXPECT_EQ(registry.closedCount(), 100u);
    EXPECT_EQ(ids(registry.toJson()), newest) << "the history holds the newest closed, newest last";
}

TEST(ConcurrentRegistry, RacingClosesCountOnce)
{
    ConnectionRegistry registry(10);
    std::vector<RecordPtr> records;
    for (int i = 0; i < 1000; ++i) {
        records.push_back(registry.open());
    }
    std::latch start(2);
    {
        std::vector<std::jthread> closers;
        for (int t = 0; t < 2; ++t) {
            closers.emplace_back([&] {
                start.arrive_and_wait();
                for (const auto& record : records) {
                    registry.close(record);
                }
            });
        }
    }
    EXPECT_EQ(registry.openCount(), 0u);
    EXPECT_EQ(registry.takeRecentlyClosed().size(), 1000u);
    EXPECT_EQ(registry.closedCount(), 10u);
}

TEST(ConcurrentRegistry, OrderAndCapHoldAcrossShards)
{
    constexpr int kThreads = 6;
    ConnectionRegistry registry(5);
    std::vector<RecordPtr> records(kThreads * 3);
    std::latch created(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            // All alive at once, so no two share a reused thread id.
            threads.emplace_back([&, t] {
                for (int i = 0; i < 3; ++i) {
                    records[std::size_t(t * 3 + i)] = i == 2 ? registry.create() : registry.open();
                }
                created.arrive_and_wait();
            });
        }
    }
    std::set<std::uint32_t> shards;
    for (const auto& record : records) {
        shards.insert(record->shard);
    }
    ASSERT_GT(shards.size(), 1u);
    EXPECT_EQ(registry.openCount(), std::size_t(kThreads * 2));

    std::vector<std::uint64_t> visited;
    std::vector<std::uint64_t> leftUnlooked;
    registry.forEachUnlooked([&](const RecordPtr& record) {
        visited.push_back(record->id);
        record->processLooked = visited.size() % 2 == 0;
        if (!record->processLooked) {
            leftUnlooked.push_back(record->id);
        }
    });
    EXPECT_EQ(visited.size(), std::size_t(kThreads * 2)) << "only published records wait for a lookup";
    EXPECT_TRUE(std::is_sorted(visited.begin(), visited.end()));
    visited.clear();
    registry.forEachUnlooked([&](const RecordPtr& record) { visited.push_back(record->id); });
    EXPECT_EQ(visited, leftUnlooked) << "a looked-up record is not visited again";

    // Close from this thread in an order unlike the ids, including a never-published record.
    std::vector<std::uint64_t> closing;
    for (std::size_t i : {17u, 3u, 10u, 2u, 0u, 14u, 7u}) {
        registry.close(records[i]);
        closing.push_back(records[i]->id);
    }
    std::vector<std::uint64_t> open;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i % 3 != 2 && !records[i]->closed) {
            open.push_back(records[i]->id);
        }
    }
    std::sort(open.begin(), open.end());
    auto expected = open;
    expected.insert(expected.end(), closing.end() - 5, closing.end());
    EXPECT_EQ(ids(registry.toJson()), expected);
    EXPECT_EQ(registry.closedCount(), 5u);

    const auto recent = registry.takeRecentlyClosed();
    std::vector<std::uint64_t> recentIds;
    for (const auto& record : recent) {
        recentIds.push_back(record->id);
    }
    EXPECT_EQ(recentIds, closing);

    registry.setHistoryCap(2);
    expected = open;
    expected.insert(expected.end(), closing.end() - 2, closing.end());
    EXPECT_EQ(ids(registry.toJson()), expected);
}

TEST(ConcurrentPolicyGroups, ResolveWhileTheMainThreadChangesGroups)
{
    const std::string text = "[Proxy]\nA = ferrow, a, 1\nB = ferrow, b, 1\nC = ferrow, c, 1\n[Proxy Group]\n"
                             "R = load-balance, A, B, C, strategy=round-robin\nTop = select, R, A\n"
                             "S = select, A, B\n";
    auto parsed = parseProfile(text);
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed));
    const auto config = std::get<ProfileConfig>(parsed);
    PolicyGroups groups;
    groups.configure(config);

    constexpr int kThreads = 3;
    constexpr int kEach = 3000;
    for (const bool reconfigure : {false, true}) {
        std::atomic<int> finished{0};
        std::vector<std::map<std::string, int>> counts(kThreads);
        std::vector<std::jthread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) {
                    const auto resolution = groups.resolve("Top", {});
                    ++counts[std::size_t(t)][resolution.final];
                    EXPECT_EQ(resolution.chain, (std::vector<std::string>{"Top", "R"}));
                }
                ++finished;
            });
        }
        std::string error;
        int round = 0;
        readWhile(workers, finished, [&] {
            EXPECT_TRUE(groups.select("S", ++round % 2 ? "B" : "A", &error));
            groups.setDelay("elsewhere", round);
            EXPECT_EQ(groups.delay("elsewhere").value_or(-2), round);
            if (reconfigure) {
                groups.configure(config);
            }
        });
        std::map<std::string, int> total;
        for (const auto& each : counts) {
            for (const auto& [member, count] : each) {
                total[member] += count;
            }
        }
        if (!reconfigure) {
            const std::map<std::string, int> even{{"A", kEach}, {"B", kEach}, {"C", kEach}};
            EXPECT_EQ(total, even) << "round robin shared by all threads loses no turn";
        } else {
            EXPECT_EQ(total["A"] + total["B"] + total["C"], kThreads * kEach);
        }
    }
}

TEST(ConcurrentLogStream, NumbersStayContiguousAcrossWriters)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    LogStream log(kThreads * kEach, false);
    std::atomic<int> finished{0};
    std::vector<std::jthread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                log.info(std::to_string(t) + ":" + std::to_string(i));
            }
            ++finished;
        });
    }
    std::vector<std::string> seen;
    std::int64_t cursor = 0;
    const auto read = [&] {
        auto slice = log.since(cursor);
        EXPECT_EQ(slice.cursor - cursor, static_cast<std::int64_t>(slice.lines.size()));
        cursor = slice.cursor;
        seen.insert(seen.end(), slice.lines.begin(), slice.lines.end());
    };
    readWhile(workers, finished, read);
    read();
    EXPECT_EQ(log.lastNumber(), kThreads * kEach);
    ASSERT_EQ(seen.size(), std::size_t(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (const auto& line : seen) {
        const auto text = line.substr(line.find("] ") + 2);
        const auto colon = text.find(':');
        const auto thread = std::size_t(std::stoi(text.substr(0, colon)));
        EXPECT_EQ(std::stoi(text.substr(colon + 1)), next[thread]++) << "each writer's lines in its order";
    }
}
