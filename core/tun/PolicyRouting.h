#pragma once

#include <string>

namespace ferrow::tun {

/// The policy routing of the tunnel, over rtnetlink in the caller's network namespace. Every rule
/// carries our protocol tag and every route lives in our table, so what a core added is found
/// again without any record of it.
class PolicyRouting {
public:
    /// Gives the TUN link its addresses and MTU, brings it up, fills our table with default
    /// routes through it and adds the rules. False with the reason in `error`; what was added up
    /// to the failure stays for removeTagged().
    static bool install(int tunIndex, std::string* error);
    /// Removes every tagged rule, every route of our table and, when `tunName` names a TUN link
    /// that still exists, that link. True when nothing of ours is left.
    static bool removeTagged(const std::string& tunName, std::string* error);
    /// Whether any tagged rule or route of our table exists.
    static bool anyTagged();
    /// How many tagged rules and routes of our table exist, as one number each.
    struct Count {
        int rules = 0;
        int routes = 0;
        bool operator==(const Count&) const = default;
    };
    static Count countTagged();
};

} // namespace ferrow::tun
