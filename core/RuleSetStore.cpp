#include "RuleSetStore.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <openssl/sha.h>

#include "HttpFetcher.h"
#include "Resolver.h"
#include "SafeFile.h"

namespace ferrow::core {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxDownload = std::size_t{32} * 1024 * 1024;
constexpr auto kDownloadTimeout = std::chrono::seconds(60);
constexpr std::time_t kRefreshAge = std::time_t{24} * 60 * 60;

std::string isoTime(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<std::time_t> modificationTime(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mtime;
}

std::string fileNameForUrl(const std::string& url)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(url.data()), url.size(), digest);
    static constexpr char hex[] = "0123456789abcdef";
    std::string name;
    for (int i = 0; i < 12; ++i) {
        name += hex[digest[i] >> 4];
        name += hex[digest[i] & 15];
    }
    return name + ".list";
}

bool writeAtomically(const std::string& path, const std::string& bytes)
{
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    std::string error;
    return writeFileAtomically(path, bytes, &error);
}

} // namespace

RuleSetStore::RuleSetStore(std::string ruleSetDir, std::string downloadDir, LogStream& log, EventLog& events)
    : m_ruleSetDir(std::move(ruleSetDir)), m_downloadDir(std::move(downloadDir)), m_log(log), m_events(events)
{
}

bool RuleSetStore::isUrl(const std::string& value)
{
    const auto lower = toLower(value.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

bool RuleSetStore::loadFile(Entry& entry, const std::string& path)
{
    // Through one bounded, non-blocking descriptor: a FIFO or device at this name cannot hang us.
    const auto file = readRegularFile(path, kMaxDownload);
    if (!file.ok) {
        if (file.errorNumber == ENOENT) {
            return false;
        }
        entry.error = file.error;
        return true;
    }
    loadText(entry, file.bytes, path);
    if (const auto when = modificationTime(path)) {
        entry.updated = isoTime(*when);
    }
    entry.path = path;
    return true;
}

void RuleSetStore::loadText(Entry& entry, const std::string& text, const std::string& origin)
{
    auto specs = parseRuleSetText(text);
    if (auto* error = std::get_if<ConfigError>(&specs)) {
        entry.error = origin + ": " + error->text();
        return;
    }
    RuleContext context;
    context.countries = m_countries;
    context.allowRuleSets = false;
    auto compiled = RuleMatcher::compile(std::get<std::vector<RuleSpec>>(specs), context);
    if (auto* error = std::get_if<ConfigError>(&compiled)) {
        entry.error = origin + ": " + error->text();
        return;
    }
    auto matcher = std::make_shared<RuleMatcher>(std::move(std::get<RuleMatcher>(compiled)));
    entry.rules = matcher->size();
    entry.slot->matcher.store(entry.rules > 0 ? std::move(matcher) : nullptr);
    entry.error = entry.rules > 0 ? "" : origin + " holds no rules";
}

void RuleSetStore::loadLocal(Entry& entry, const std::string& name)
{
    // "geoip:private" may be stored as geoip:private, geoip-private or either with .list/.txt.
    std::vector<std::string> stems = {name};
    std::string dashed = name;
    std::replace(dashed.begin(), dashed.end(), ':', '-');
    if (dashed != name) {
        stems.push_back(dashed);
    }
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos) {
        entry.error = R"(a rule set name cannot contain "/" or "..")";
        return;
    }
    if (m_ruleSetDir.empty()) {
        entry.error = "no rule-set folder was given, so \"" + name + "\" has no data";
        return;
    }
    for (const auto& stem : stems) {
        for (const char* extension : {"", ".list", ".txt"}) {
            const std::string path = m_ruleSetDir + "/" + stem + extension;
            if (fs::is_regular_file(path) && loadFile(entry, path)) {
                return;
            }
        }
    }
    entry.path = m_ruleSetDir + "/" + dashed + ".list";
    entry.rules = 0;
    entry.slot->matcher.store(nullptr);
    entry.error = "no rule set named \"" + name + "\" in " + m_ruleSetDir;
}

std::shared_ptr<RuleSetSlot> RuleSetStore::slot(const std::string& nameOrUrl)
{
    if (const auto it = m_entries.find(nameOrUrl); it != m_entries.end()) {
        return it->second.slot;
    }
    Entry entry;
    entry.slot = std::make_shared<RuleSetSlot>();
    entry.slot->name = nameOrUrl;
    if (isUrl(nameOrUrl)) {
        entry.remote = true;
        entry.url = nameOrUrl;
        entry.path = m_downloadDir + "/" + fileNameForUrl(nameOrUrl);
        if (!loadFile(entry, entry.path)) {
            entry.error = "not downloaded yet";
        }
    } else {
        loadLocal(entry, nameOrUrl);
    }
    if (!entry.error.empty()) {
        m_log.warning("rule set " + nameOrUrl + ": " + entry.error);
    }
    auto slot = entry.slot;
    m_entries.emplace(nameOrUrl, std::move(entry));
    return slot;
}

void RuleSetStore::retain(const std::set<std::string>& names)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        it = names.count(it->first) ? std::next(it) : m_entries.erase(it);
    }
}

asio::awaitable<void> RuleSetStore::download(const std::string& key, Resolver& resolver)
{
    const std::string& url = key;
    if (const auto running = m_downloading.find(key); running != m_downloading.end()) {
        const auto finished = running->second;
        co_await finished->async_wait(useTuple); // cancelled when that download ends
        co_return;
    }
    const auto finished = std::make_shared<asio::steady_timer>(co_await asio::this_coro::executor,
                                                               asio::steady_timer::time_point::max());
    m_downloading.emplace(key, finished);
    const auto result = co_await httpFetch(resolver, url, kDownloadTimeout, kMaxDownload);
    // Not by a destructor: a frame destroyed with the io_context after the store must not touch it.
    m_downloading.erase(key);
    finished->cancel();
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        co_return; // the profile dropped the set meanwhile
    }
    Entry& entry = it->second;
    std::string error = result.ok ? "" : result.error;
    if (result.ok) {
        // Only a file that reads as rules replaces the copy on disk.
        auto specs = parseRuleSetText(result.body);
        if (auto* parseError = std::get_if<ConfigError>(&specs)) {
            error = "downloaded data is not a rule set: " + parseError->text();
        } else if (std::get<std::vector<RuleSpec>>(specs).empty()) {
            error = "downloaded rule set holds no rules";
        } else if (!writeAtomically(entry.path, result.body)) {
            // A folder the core may not write (Enhanced Mode's core sees the home read-only) must
            // not cost the rules: they serve from memory until the next update.
            m_log.warning("rule set " + url + " could not be cached at " + entry.path + "; kept in memory");
            loadText(entry, result.body, url);
            entry.updated = isoTime(std::time(nullptr));
            error = entry.error;
        } else {
            loadFile(entry, entry.path);
            error = entry.error;
        }
    }
    if (error.empty()) {
        m_log.info("rule set " + url + " updated: " + std::to_string(entry.rules) + " rules");
        if (entry.failing) {
            m_events.add("Rule set updated",
                         url + " is up to date again (" + std::to_string(entry.rules) + " rules).");
        }
        entry.failing = false;
    } else {
        entry.error = error;
        m_log.warning("rule set " + url + " update failed: " + error);
        // One event per episode: retries that fail the same way notify nobody again.
        if (!entry.failing) {
            m_events.add("Rule set update failed", url + ": " + error);
        }
        entry.failing = true;
    }
}

asio::awaitable<void> RuleSetStore::updateAll(Resolver& resolver)
{
    std::vector<std::string> remote;
    for (auto& [key, entry] : m_entries) {
        if (entry.remote) {
            remote.push_back(key);
        } else {
            loadLocal(entry, key);
        }
    }
    for (const auto& key : remote) {
        co_await download(key, resolver);
    }
}

asio::awaitable<void> RuleSetStore::updateStale(Resolver& resolver)
{
    std::vector<std::string> stale;
    const std::time_t now = std::time(nullptr);
    for (auto& [key, entry] : m_entries) {
        const auto when = modificationTime(entry.path);
        if (entry.remote && !entry.failing &&
            (!entry.slot->matcher.load() || !when || now - *when > kRefreshAge)) {
            stale.push_back(key);
        }
    }
    for (const auto& key : stale) {
        co_await download(key, resolver);
    }
}

nlohmann::json RuleSetStore::toJson() const
{
    auto out = nlohmann::json::array();
    for (const auto& [key, entry] : m_entries) {
        out.push_back({{"name", key},
                       {"type", entry.remote ? "url" : "file"},
                       {"path", entry.path},
                       // A local set names its file, so the resources window has something to show.
                       {"url", entry.remote ? entry.url : "file://" + entry.path},
                       {"updated", entry.updated},
                       {"error", entry.error},
                       {"rules", entry.rules}});
    }
    return out;
}

} // namespace ferrow::core
