#pragma once

#include <functional>
#include <map>
#include <string>

namespace ferrow::core {

/// A controller request after transport checks (host, authorisation, size) have passed.
struct ApiRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query; // percent-decoded
    std::string body;
};

struct ApiResponse {
    int status = 200;
    std::string body; // JSON text
    /// Runs once the answer has been written (or the write failed); the connection then ends.
    std::function<void()> afterWritten;
};

/// Splits "/path?a=1&b=x%20y" into path and decoded query values.
void splitTarget(const std::string& target, std::string& path, std::map<std::string, std::string>& query);

} // namespace ferrow::core
