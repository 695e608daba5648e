#include "FRWHelperProtocol.h"

#include <nlohmann/json.hpp>

namespace ferrow::helperprotocol {

namespace {

using nlohmann::json;

std::optional<json> parseObject(std::string_view line, ProtocolError& error)
{
    if (line.size() > kMaxLineBytes) {
        error.text = "message too long";
        return std::nullopt;
    }
    json value = json::parse(line, nullptr, false);
    if (value.is_discarded()) {
        error.text = "message is not JSON";
        return std::nullopt;
    }
    if (!value.is_object()) {
        error.text = "message is not a JSON object";
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> idOf(const json& message)
{
    const auto it = message.find("id");
    if (it == message.end() || !it->is_number_unsigned()) {
        return std::nullopt;
    }
    return it->get<std::uint64_t>();
}

/// A text argument: a string without NUL bytes (which would cut a path short) and not too long.
bool readText(const json& params, const char* key, std::string& out, ProtocolError& error)
{
    const auto it = params.find(key);
    if (it == params.end() || !it->is_string()) {
        error.text = std::string("parameter \"") + key + "\" must be a string";
        return false;
    }
    const auto& text = it->get_ref<const std::string&>();
    if (text.size() > kMaxTextBytes || text.find('\0') != std::string::npos) {
        error.text = std::string("parameter \"") + key + "\" is unusable";
        return false;
    }
    out = text;
    return true;
}

std::string line(const json& message)
{
    // Replace invalid UTF-8 rather than throw: a reply must always go out.
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

std::variant<Request, ProtocolError> parseRequest(std::string_view text)
{
    ProtocolError error;
    const auto message = parseObject(text, error);
    if (!message) {
        return error;
    }
    Request request;
    const auto id = idOf(*message);
    if (!id) {
        return ProtocolError{"request has no numeric id"};
    }
    request.id = *id;
    const auto method = message->find("method");
    if (method == message->end() || !method->is_string()) {
        return ProtocolError{"request has no method"};
    }
    const auto& name = method->get_ref<const std::string&>();
    if (name == kGetVersion) {
        request.method = Method::GetVersion;
    } else if (name == kStopCore) {
        request.method = Method::StopCore;
    } else if (name == kIsCoreRunning) {
        request.method = Method::IsCoreRunning;
    } else if (name == kStartCore) {
        request.method = Method::StartCore;
        const auto params = message->find("params");
        if (params == message->end() || !params->is_object()) {
            return ProtocolError{"startCore needs params"};
        }
        StartCoreParams& start = request.start;
        if (!readText(*params, "corePath", start.corePath, error) ||
            !readText(*params, "configPath", start.configPath, error) ||
            !readText(*params, "apiInfoPath", start.apiInfoPath, error) ||
            !readText(*params, "ruleSetDir", start.ruleSetDir, error) ||
            !readText(*params, "tunName", start.tunName, error)) {
            return error;
        }
        const auto gateway = params->find("gateway");
        if (gateway == params->end() || !gateway->is_boolean()) {
            return ProtocolError{"parameter \"gateway\" must be true or false"};
        }
        start.gateway = gateway->get<bool>();
    } else {
        return ProtocolError{"unknown method"};
    }
    return request;
}

std::variant<Reply, ProtocolError> parseReply(std::string_view text)
{
    ProtocolError error;
    const auto message = parseObject(text, error);
    if (!message) {
        return error;
    }
    Reply reply;
    const auto id = idOf(*message);
    if (!id) {
        return ProtocolError{"reply has no numeric id"};
    }
    reply.id = *id;
    if (const auto it = message->find("version"); it != message->end()) {
        if (!it->is_number_integer()) {
            return ProtocolError{"version is not an integer"};
        }
        reply.version = it->get<std::int64_t>();
    }
    if (const auto it = message->find("running"); it != message->end()) {
        if (!it->is_boolean()) {
            return ProtocolError{"running is not a flag"};
        }
        reply.running = it->get<bool>();
    }
    if (const auto it = message->find("error"); it != message->end() && !it->is_null()) {
        if (!it->is_object()) {
            return ProtocolError{"error is not an object"};
        }
        HelperError helperError;
        const auto description = it->find("description");
        if (description == it->end() || !description->is_string()) {
            return ProtocolError{"error has no description"};
        }
        helperError.description = description->get<std::string>();
        if (const auto domain = it->find("domain"); domain != it->end() && domain->is_string()) {
            helperError.domain = domain->get<std::string>();
        }
        if (const auto code = it->find("code"); code != it->end() && code->is_number_integer()) {
            const auto value = code->get<std::int64_t>();
            helperError.code =
                value >= INT32_MIN && value <= INT32_MAX ? static_cast<int>(value) : kErrorCode;
        }
        reply.error = std::move(helperError);
    }
    return reply;
}

std::string formatRequest(const Request& request)
{
    json message{{"id", request.id}};
    switch (request.method) {
    case Method::GetVersion:
        message["method"] = kGetVersion;
        break;
    case Method::StopCore:
        message["method"] = kStopCore;
        break;
    case Method::IsCoreRunning:
        message["method"] = kIsCoreRunning;
        break;
    case Method::StartCore:
        message["method"] = kStartCore;
        message["params"] =
            json{{"corePath", request.start.corePath},       {"configPath", request.start.configPath},
                 {"apiInfoPath", request.start.apiInfoPath}, {"ruleSetDir", request.start.ruleSetDir},
                 {"tunName", request.start.tunName},         {"gateway", request.start.gateway}};
        break;
    }
    return line(message);
}

std::string formatVersionReply(std::uint64_t id, std::int64_t version)
{
    return line(json{{"id", id}, {"version", version}});
}

std::string formatRunningReply(std::uint64_t id, bool running)
{
    return line(json{{"id", id}, {"running", running}});
}

std::string formatErrorReply(std::uint64_t id, const std::optional<HelperError>& error)
{
    json message{{"id", id}, {"error", nullptr}};
    if (error) {
        message["error"] =
            json{{"domain", error->domain}, {"code", error->code}, {"description", error->description}};
    }
    return line(message);
}

LineStatus takeLine(std::string& buffer, std::string& out, std::size_t maxBytes)
{
    const std::size_t end = buffer.find('\n');
    if (end == std::string::npos) {
        return buffer.size() > maxBytes ? LineStatus::TooLong : LineStatus::NeedMore;
    }
    if (end > maxBytes) {
        return LineStatus::TooLong;
    }
    out.assign(buffer, 0, end);
    buffer.erase(0, end + 1);
    return LineStatus::Line;
}

} // namespace ferrow::helperprotocol
