// The per-day traffic history: days rolling over, restarts, damaged files, the 90-day trim and
// the bounded answers, with the clock given to each call.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Gzip.h"
#include "HistoryRecorder.h"
#include "RegistrableDomain.h"
#include "TemporaryHome.h"
#include "TrafficHistory.h"
#include "WaitUntil.h"

using namespace ferrow::core;
namespace fs = std::filesystem;

namespace {

// Noon on a day of December 2026, local time, `day` days after the first.
std::time_t december(int day, int hour = 12)
{
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::uint64_t upOf(const nlohmann::json& answer, const std::string& name)
{
    for (const auto& item : answer["items"]) {
        if (item["name"] == name) {
            return item["up"].get<std::uint64_t>();
        }
    }
    return 0;
}

HistoryKeys keys(const std::string& process, const std::string& domain = "example.test")
{
    return {process, "192.168.1.20", domain, "DIRECT"};
}

} // namespace

TEST(TrafficHistory, DaysRollOverAcrossAMonthAndTheAnswerListsEachDay)
{
    ferrow::test::TemporaryHome home;
    TrafficHistory history((home.root() / "history").string());
    history.add(keys("/usr/bin/a"), 100, 1000, december(1, 0) - 3600); // 30 November, 23:00
    history.add(keys("/usr/bin/a"), 10, 20, december(1, 0) + 60);      // 1 December, 00:01
    history.add(keys("/usr/bin/b"), 5, 5, december(2));
    history.add(keys(""), 7, 7, december(2)); // an unknown program is not listed as one
    EXPECT_EQ(history.days(), (std::vector<std::string>{"2026-11-30", "2026-12-01", "2026-12-02"}));

    const auto week = history.query(HistoryDimension::Process, 7, december(2));
    EXPECT_EQ(week["from"], "2026-11-26");
    EXPECT_EQ(week["to"], "2026-12-02");
    ASSERT_EQ(week["items"].size(), 2u);
    EXPECT_EQ(week["items"][0]["name"], "/usr/bin/a");
    EXPECT_EQ(week["items"][0]["down"], 1020);
    const auto daily = week["items"][0]["daily"];
    ASSERT_EQ(daily.size(), 7u);
    EXPECT_EQ(daily[4], nlohmann::json::array({100, 1000}));
    EXPECT_EQ(daily[5], nlohmann::json::array({10, 20}));
    EXPECT_EQ(daily[6], nlohmann::json::array({0, 0}));
    EXPECT_EQ(upOf(history.query(HistoryDimension::Process, 1, december(2)), "/usr/bin/a"), 0u);
    EXPECT_EQ(upOf(history.query(HistoryDimension::Device, 7, december(2)), "192.168.1.20"), 122u);
    EXPECT_EQ(upOf(history.query(HistoryDimension::Policy, 2, december(2)), "DIRECT"), 22u);
}

TEST(TrafficHistory, RestartKeepsItOnlyChangedDaysAreWrittenAndOldDaysGo)
{
    ferrow::test::TemporaryHome home;
    const std::string folder = (home.root() / "history").string();
    {
        TrafficHistory history(folder);
        history.add(keys("/usr/bin/a"), 1, 2, december(1));
        history.add(keys("/usr/bin/a"), 3, 4, december(5));
        ASSERT_TRUE(history.save());
    }
    const auto firstDay = fs::path(folder) / "2026-12-01.json.gz";
    const auto written = fs::last_write_time(firstDay);
    TrafficHistory history(folder);
    EXPECT_TRUE(history.load(december(5)).empty());
    history.add(keys("/usr/bin/a"), 10, 10, december(5));
    ASSERT_TRUE(history.save());
    EXPECT_EQ(fs::last_write_time(firstDay), written) << "a finished day is not rewritten";
    EXPECT_EQ(upOf(history.query(HistoryDimension::Process, 5, december(5)), "/usr/bin/a"), 14u);
    // Readable with the usual tools.
    EXPECT_EQ(std::system(("zcat '" + firstDay.string() + "' | grep -q /usr/bin/a").c_str()), 0);

    // 90 days later the first day is gone, in memory and on disk, and so is the fifth a day on.
    history.add(keys("/usr/bin/a"), 1, 1, december(1) + 90 * 86400 + 3600);
    EXPECT_EQ(history.days().front(), "2026-12-05");
    EXPECT_FALSE(fs::exists(firstDay));
    TrafficHistory reloaded(folder, 90);
    reloaded.load(december(5) + 90 * 86400);
    EXPECT_TRUE(reloaded.days().empty());
    EXPECT_FALSE(fs::exists(fs::path(folder) / "2026-12-05.json.gz"));
}

TEST(TrafficHistory, DamagedFilesAreSetAsideAndTheRestIsKept)
{
    ferrow::test::TemporaryHome home;
    const fs::path folder = (home.root() / "history").string();
    {
        TrafficHistory history(folder.string());
        history.add(keys("/usr/bin/a"), 5, 5, december(3));
        ASSERT_TRUE(history.save());
    }
    const auto good = gzipCompressed(R"({"process":{"/usr/bin/b":[1,2]}})");
    const std::vector<std::pair<std::string, std::string>> files{
        {"2026-12-01.json.gz", "not gzip at all"},
        {"2026-12-02.json.gz", good.substr(0, good.size() - 6)}, // cut short
        {"2026-11-30.json.gz", gzipCompressed(R"({"process":{"/usr/bin/b":[1,-2]}})")},
        {"2026-11-29.json.gz", gzipCompressed("[1, 2]")},
        {"2026-11-28.json.gz", good + "trailing"},
    };
    for (const auto& [name, bytes] : files) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    TrafficHistory history(folder.string());
    const auto problems = history.load(december(3));
    EXPECT_EQ(problems.size(), files.size());
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(fs::exists(folder / (name + ".damaged"))) << name;
    }
    EXPECT_EQ(history.days(), std::vector<std::string>{"2026-12-03"});
    EXPECT_EQ(upOf(history.query(HistoryDimension::Process, 1, december(3)), "/usr/bin/a"), 5u);
}

TEST(TrafficHistory, AnswersAndDaysAreBounded)
{
    ferrow::test::TemporaryHome home;
    TrafficHistory history((home.root() / "history").string());
    const std::size_t limit = TrafficHistory::kDayLimits[std::size_t(HistoryDimension::Domain)];
    for (std::size_t i = 0; i < limit + 50; ++i) {
        history.add(keys("/p", "d" + std::to_string(i) + ".test"), i + 1, 0, december(7));
    }
    const auto answer = history.query(HistoryDimension::Domain, 1, december(7));
    ASSERT_EQ(answer["items"].size(), TrafficHistory::kTop);
    EXPECT_EQ(answer["items"][0]["name"], "d" + std::to_string(limit - 1) + ".test");
    std::uint64_t listed = 0;
    for (const auto& item : answer["items"]) {
        listed += item["up"].get<std::uint64_t>();
    }
    const std::uint64_t all = (limit + 50) * (limit + 51) / 2;
    EXPECT_EQ(listed + answer["other"]["up"].get<std::uint64_t>(), all) << "nothing is lost past the caps";
    EXPECT_EQ(answer["other"]["count"], limit - TrafficHistory::kTop);
    EXPECT_EQ(history.query(HistoryDimension::Domain, 1000, december(7))["days"], 90);
}

TEST(RegistrableDomain, NamesAddressesAndSuffixes)
{
    RegistrableDomain domains;
    EXPECT_EQ(domains.of("WWW.BBC.co.uk."), "bbc.co.uk");
    EXPECT_EQ(domains.of("a.b.example.test"), "example.test");
    EXPECT_EQ(domains.of("co.uk"), "co.uk");
    EXPECT_EQ(domains.of("localhost"), "localhost");
    EXPECT_EQ(domains.of("203.0.113.7"), "203.0.113.7");
    EXPECT_EQ(domains.of("2001:db8::1"), "2001:db8::1");
    EXPECT_EQ(domains.of(""), "");
}

TEST(HistoryRecorder, TodayIsReadAtOnceAndEarlierDaysArriveThroughTheCallersQueue)
{
    ferrow::test::TemporaryHome home;
    const std::string folder = (home.root() / "history").string();
    const std::time_t now = std::time(nullptr);
    {
        TrafficHistory history(folder);
        history.add(keys("/usr/bin/a"), 1, 0, now - 2 * 86400);
        history.add(keys("/usr/bin/a"), 10, 0, now);
        ASSERT_TRUE(history.save());
    }
    std::ofstream(fs::path(folder) / (ferrow::core::localDay(now, 1) + ".json.gz")) << "damaged";
    std::mutex mutex;
    std::vector<std::function<void()>> queue;
    std::vector<std::string> warnings;
    ferrow::core::HistoryRecorder recorder(folder);
    recorder.load(
        now,
        [&](std::function<void()> work) {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(work));
        },
        [&](const std::string& warning) { warnings.push_back(warning); });
    EXPECT_EQ(upOf(recorder.history().query(HistoryDimension::Process, 7, now), "/usr/bin/a"), 10u);
    const auto queued = [&] {
        std::lock_guard lock(mutex);
        return queue.size();
    };
    EXPECT_TRUE(ferrow::test::waitUntil([&] { return queued() >= 2; }, std::chrono::seconds(3))) << queued();
    EXPECT_TRUE(warnings.empty()) << "reported on the caller's thread only";
    std::lock_guard lock(mutex);
    for (auto& work : queue) {
        work();
    }
    EXPECT_EQ(upOf(recorder.history().query(HistoryDimension::Process, 7, now), "/usr/bin/a"), 11u);
    EXPECT_EQ(warnings.size(), 1u);
}
