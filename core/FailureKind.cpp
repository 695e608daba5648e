#include "FailureKind.h"

#include <cerrno>
#include <system_error>

#include <boost/asio/error.hpp>

namespace ferrow::core {

namespace {

bool mentions(std::string_view error, const std::string& text)
{
    return !text.empty() && error.find(text) != std::string_view::npos;
}

std::string systemText(int code)
{
    return std::system_category().message(code);
}

} // namespace

std::string failureKind(std::string_view error)
{
    if (mentions(error, systemText(ECONNREFUSED))) {
        return "refused";
    }
    if (mentions(error, systemText(EHOSTUNREACH)) || mentions(error, systemText(ENETUNREACH))) {
        return "unreachable";
    }
    // The resolver's own words, and the system resolver's through Asio.
    const boost::system::error_code notFound = boost::asio::error::host_not_found;
    const boost::system::error_code noData = boost::asio::error::no_data;
    if (mentions(error, "cannot resolve") || mentions(error, " has no address") ||
        mentions(error, "no such name") || mentions(error, notFound.message()) ||
        mentions(error, noData.message())) {
        return "name";
    }
    return "timeout";
}

} // namespace ferrow::core
