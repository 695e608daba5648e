// The connection registry, policy groups and log written from several threads while one reads.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <latch>
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

// Runs `work` on `count` threads and `read` here until they finish (bounded in rounds and time).
template <typename Work, typename Read>
void runWhileReading(int count, Work work, Read read)
{
    std::atomic<int> finished{0};
    std::vector<std::jthread> workers;
    workers.reserve(std::size_t(count));
    for (int t = 0; t < count; ++t) {
        workers.emplace_back([&, t] { work(t), ++finished; });
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int round = 0; round < 1'000'000 && finished < count && std::chrono::steady_clock::now() < until;
         ++round) {
        read();
    }
}

template <typename List>
std::vector<std::uint64_t> ids(const List& list)
{
    std::vector<std::uint64_t> out;
    for (const auto& item : list) {
        if constexpr (std::is_same_v<List, nlohmann::json>) {
            out.push_back(item["id"].template get<std::uint64_t>());
        } else {
            out.push_back(item->id);
        }
    }
    return out;
}

bool closedBefore(const RecordPtr& a, const RecordPtr& b)
{
    return a->closeOrder < b->closeOrder;
}

} // namespace

TEST(ConcurrentRegistry, ThreadsOpenAndCloseWhileTheMainThreadReads)
{
    ConnectionRegistry registry(100);
    std::vector<RecordPtr> taken;
    const auto take = [&] {
        auto batch = registry.takeRecentlyClosed();
        EXPECT_TRUE(std::is_sorted(batch.begin(), batch.end(), closedBefore));
        taken.insert(taken.end(), batch.begin(), batch.end());
    };
    const auto work = [&](int) {
        std::vector<RecordPtr> held;
        for (int i = 0; i < 2000; ++i) {
            held.push_back(registry.create());
            if (i % 5 != 0) { // every fifth is refused before it is listed
                registry.publish(held.back());
            }
            if (held.size() == 8) {
                // Newest first, so closing order is not id order.
                std::for_each(held.rbegin(), held.rend(), [&](const RecordPtr& r) { registry.close(r); });
                held.clear();
            }
        }
    };
    runWhileReading(4, work, [&] {
        EXPECT_LE(registry.toJson().size(), 4u * 8 + 100);
        std::vector<RecordPtr> visited;
        registry.forEachOpen([&](const RecordPtr& record) { visited.push_back(record); });
        EXPECT_TRUE(
            std::is_sorted(visited.begin(), visited.end(), [](auto& a, auto& b) { return a->id < b->id; }));
        take();
    });
    take();
    EXPECT_EQ(registry.openCount(), 0u);
    ASSERT_EQ(taken.size(), 8000u) << "every record closes exactly once";
    const auto all = ids(taken);
    EXPECT_EQ(std::set<std::uint64_t>(all.begin(), all.end()).size(), 8000u);
    EXPECT_EQ(*std::max_element(all.begin(), all.end()), 8000u);
    std::sort(taken.begin(), taken.end(), closedBefore);
    EXPECT_EQ(registry.closedCount(), 100u);
    EXPECT_EQ(ids(registry.toJson()), ids(std::vector<RecordPtr>(taken.end() - 100, taken.end())))
        << "the history holds the newest closed of every thread, newest last";
    registry.setHistoryCap(10);
    EXPECT_EQ(ids(registry.toJson()), ids(std::vector<RecordPtr>(taken.end() - 10, taken.end())));

    std::vector<RecordPtr> records(500);
    std::generate(records.begin(), records.end(), [&] { return registry.open(); });
    std::latch start(2);
    runWhileReading(
        2,
        [&](int) {
            start.arrive_and_wait();
            std::for_each(records.begin(), records.end(), [&](const RecordPtr& r) { registry.close(r); });
        },
        [] {});
    EXPECT_EQ(registry.openCount(), 0u);
    EXPECT_EQ(registry.takeRecentlyClosed().size(), 500u) << "a close raced from two threads counts once";
}

TEST(ConcurrentRecords, PolicyGroupsAndLogShareTurnsAndNumbers)
{
    auto parsed = parseProfile(
        "[Proxy]\nA = ferrow, a, 1\nB = ferrow, b, 1\nC = ferrow, c, 1\n[Proxy Group]\n"
        "R = load-balance, A, B, C, strategy=round-robin\nTop = select, R, A\nS = select, A, B\n");
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed));
    const auto config = std::get<ProfileConfig>(parsed);
    PolicyGroups groups;
    groups.configure(config);
    LogStream log(3000, false);
    LogStream::Slice read;
    for (const bool reconfigure : {false, true}) {
        std::array<std::atomic<int>, 3> chosen{};
        int round = 0;
        std::string error;
        runWhileReading(
            3,
            [&](int t) {
                for (int i = 0; i < 3000; ++i) {
                    const auto resolution = groups.resolve("Top", {});
                    ASSERT_EQ(resolution.chain.size(), 2u);
                    ++chosen.at(std::size_t(resolution.final.at(0) - 'A'));
                    if (!reconfigure && i % 3 == 0) {
                        log.info(std::to_string(t) + ":" + std::to_string(i));
                    }
                }
            },
            [&] {
                EXPECT_TRUE(groups.select("S", ++round % 2 ? "B" : "A", &error));
                groups.setDelay("elsewhere", round);
                if (reconfigure) {
                    groups.configure(config);
                }
                auto slice = log.since(read.cursor);
                EXPECT_EQ(slice.cursor - read.cursor, std::int64_t(slice.lines.size()))
                    << "no gap in the numbers";
                read.cursor = slice.cursor;
                read.lines.insert(read.lines.end(), slice.lines.begin(), slice.lines.end());
            });
        // Reconfiguring restarts the turns; without it, all threads share one round robin.
        EXPECT_EQ(chosen[0] + chosen[1] + chosen[2], 9000);
        EXPECT_TRUE(reconfigure || (chosen[0] == 3000 && chosen[1] == 3000 && chosen[2] == 3000));
    }
    const auto rest = log.since(read.cursor);
    read.lines.insert(read.lines.end(), rest.lines.begin(), rest.lines.end());
    ASSERT_EQ(read.lines.size(), 3000u);
    std::array<int, 3> next{};
    for (const auto& line : read.lines) {
        const auto text = line.substr(line.find("] ") + 2);
        EXPECT_EQ(std::stoi(text.substr(2)), 3 * next.at(std::size_t(std::stoi(text)))++)
            << "a writer's lines in order";
    }
}
