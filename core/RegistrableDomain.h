#pragma once

#include <string>
#include <string_view>

typedef struct psl_ctx_st psl_ctx_t;

namespace ferrow::core {

/// The part of a host name its owner registered ("www.bbc.co.uk" is "bbc.co.uk"), from the
/// newest Public Suffix List on the machine. Addresses and names without a registrable part
/// ("localhost", "co.uk") stand for themselves.
class RegistrableDomain {
public:
    RegistrableDomain();
    ~RegistrableDomain();
    RegistrableDomain(const RegistrableDomain&) = delete;
    RegistrableDomain& operator=(const RegistrableDomain&) = delete;

    std::string of(std::string_view host) const;

private:
    psl_ctx_t* m_list = nullptr; // owned when loaded from the machine's file
    const psl_ctx_t* m_builtin = nullptr;
};

} // namespace ferrow::core
