#include "RegistrableDomain.h"

#include <algorithm>
#include <cctype>
#include <libpsl.h>

#include "NetAddress.h"

namespace ferrow::core {

RegistrableDomain::RegistrableDomain() : m_list(psl_latest(nullptr)), m_builtin(psl_builtin())
{
}

RegistrableDomain::~RegistrableDomain()
{
    psl_free(m_list);
}

std::string RegistrableDomain::of(std::string_view host) const
{
    std::string name(host);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    const psl_ctx_t* list = m_list ? m_list : m_builtin;
    if (name.empty() || !list || IpAddr::parse(name)) {
        return name;
    }
    const char* registrable = psl_registrable_domain(list, name.c_str());
    return registrable ? std::string(registrable) : name;
}

} // namespace ferrow::core
