#pragma once

#include "AsioSupport.h"
#include "EventLog.h"
#include "LogStream.h"
#include "RuleMatcher.h"

#include <boost/asio/steady_timer.hpp>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <set>
#include <string>

namespace ferrow::core {

class Resolver;

/// The rule sets a profile names: files in the rule-set folder, or http(s) URLs downloaded into
/// the support folder. A set without data is reported as such and matches nothing.
class RuleSetStore {
public:
    RuleSetStore(std::string ruleSetDir, std::string downloadDir, LogStream& log, EventLog& events);

    void setCountries(std::shared_ptr<const CountryLookup> countries) { m_countries = std::move(countries); }
    /// The slot for a set, created and filled from disk on first use.
    std::shared_ptr<RuleSetSlot> slot(const std::string& nameOrUrl);
    /// Forgets sets the current profile no longer names.
    void retain(const std::set<std::string>& names);

    /// Re-reads local sets and downloads every URL set now.
    asio::awaitable<void> updateAll(Resolver& resolver);
    /// Downloads URL sets that have no data yet or are older than a day.
    asio::awaitable<void> updateStale(Resolver& resolver);

    nlohmann::json toJson() const;

    static bool isUrl(const std::string& value);

private:
    struct Entry {
        std::shared_ptr<RuleSetSlot> slot;
        bool remote = false;
        std::string path;
        std::string url;
        std::string updated;
        std::string error;
        std::size_t rules = 0;
        bool failing = false;
    };

    void loadLocal(Entry& entry, const std::string& name);
    bool loadFile(Entry& entry, const std::string& path);
    /// Compiles rule-set text into the entry; `origin` names it in errors.
    void loadText(Entry& entry, const std::string& text, const std::string& origin);
    asio::awaitable<void> download(const std::string& key, Resolver& resolver);

    std::string m_ruleSetDir;
    std::string m_downloadDir;
    LogStream& m_log;
    EventLog& m_events;
    std::shared_ptr<const CountryLookup> m_countries;
    std::map<std::string, Entry> m_entries;
    /// URLs being downloaded now, each with a timer cancelled when it ends: a reload meanwhile
    /// starts no second download, and an update asked for meanwhile waits for this one.
    std::map<std::string, std::shared_ptr<asio::steady_timer>> m_downloading;
};

} // namespace ferrow::core
