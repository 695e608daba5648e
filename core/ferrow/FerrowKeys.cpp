#include "FerrowKeys.h"

#include <cstdio>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "FRWKeyStrength.h"

namespace ferrow::proto {

namespace {

constexpr std::string_view kMasterSalt = "ferrow v2 master key";

} // namespace

std::string pskProblem(std::string_view psk)
{
    if (psk.empty()) {
        return "no psk";
    }
    if (psk.size() < kMinPskLength) {
        return "psk is too short (" + std::to_string(psk.size()) + " characters; at least " +
               std::to_string(kMinPskLength) + " needed)";
    }
    return {};
}

Key deriveMasterKey(std::string_view psk, KeyCost cost)
{
    return scryptKey(psk, kMasterSalt, cost.n, cost.r, cost.p);
}

namespace {

struct MasterKeys {
    std::mutex lock;
    std::map<std::string, std::shared_future<Key>, std::less<>> known;
};

MasterKeys& masterKeys()
{
    static MasterKeys keys;
    return keys;
}

} // namespace

bool hasMasterKey(std::string_view psk)
{
    auto& [lock, known] = masterKeys();
    const std::lock_guard guard(lock);
    const auto found = known.find(psk);
    return found != known.end() &&
           found->second.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

Key masterKey(std::string_view psk)
{
    auto& [lock, known] = masterKeys();
    std::optional<std::promise<Key>> made; // only for a key met the first time
    std::shared_future<Key> result;
    {
        const std::lock_guard guard(lock);
        if (const auto found = known.find(psk); found != known.end()) {
            result = found->second;
        } else {
            made.emplace();
            result = made->get_future().share();
            known.emplace(std::string(psk), result);
        }
    }
    // Derived outside the lock: other keys need not wait for this one.
    if (made) {
        made->set_value(deriveMasterKey(psk, kMasterKeyCost));
    }
    return result.get();
}

std::string weakKeyWarning(std::string_view psk)
{
    const double bits = ferrow::estimatedKeyBits(psk);
    if (bits >= kWeakKeyBits) {
        return {};
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "the psk looks hand-made (about %.0f bits; a generated one has 256): whoever records "
                  "one connection can try guesses offline",
                  bits);
    return text;
}

} // namespace ferrow::proto
