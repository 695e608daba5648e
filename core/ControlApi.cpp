#include "ControlApi.h"

#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

#include "ConnectionRegistry.h"
#include "EventLog.h"
#include "LogStream.h"
#include "PolicyGroups.h"
#include "RuleSetStore.h"
#include "TrafficHistory.h"
#include "TrafficStatistics.h"

namespace ferrow::core {

namespace {

using nlohmann::json;

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() + 0 && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

ApiResponse answer(const json& body, int status = 200)
{
    return {status, body.dump(-1, ' ', false, json::error_handler_t::replace), {}};
}

ApiResponse failure(int status, const std::string& message)
{
    return answer({{"ok", false}, {"error", message}}, status);
}

std::int64_t cursorOf(const ApiRequest& request, std::int64_t fallback)
{
    const auto it = request.query.find("cursor");
    if (it == request.query.end()) {
        return fallback;
    }
    std::int64_t value = 0;
    const auto& text = it->second;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return fallback;
    }
    return value;
}

} // namespace

void splitTarget(const std::string& target, std::string& path, std::map<std::string, std::string>& query)
{
    const auto question = target.find('?');
    path = target.substr(0, question);
    if (question == std::string::npos) {
        return;
    }
    std::string_view rest = std::string_view(target).substr(question + 1);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const auto item = rest.substr(0, amp);
        const auto equals = item.find('=');
        const auto key = percentDecode(item.substr(0, equals));
        const auto value =
            equals == std::string_view::npos ? std::string() : percentDecode(item.substr(equals + 1));
        if (!key.empty()) {
            query.emplace(key, value);
        }
        if (amp == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(amp + 1);
    }
}

asio::awaitable<ApiResponse> ControlApi::handleApi(ApiRequest request)
{
    const auto& path = request.path;
    const bool post = request.method == "POST";
    if (path == "/status") {
        co_return status();
    }
    if (path == "/stats") {
        co_return stats();
    }
    if (path == "/connections") {
        co_return connections();
    }
    if (path == "/history") {
        co_return history(request);
    }
    if (path == "/outbound") {
        co_return outbound(request);
    }
    if (path == "/groups") {
        co_return groups();
    }
    if (path == "/logs") {
        co_return logs(request);
    }
    if (path == "/test") {
        co_return co_await test(request);
    }
    if (path == "/select") {
        co_return post ? select(request) : failure(405, "use POST");
    }
    if (path == "/socks") {
        co_return socks(request);
    }
    if (path == "/rulesets") {
        co_return co_await ruleSets(request);
    }
    if (path == "/events") {
        co_return events(request);
    }
    if (path == "/reload") {
        if (!post) {
            co_return failure(405, "use POST");
        }
        const auto error = m_control.reload();
        co_return error.empty() ? answer({{"ok", true}}) : answer({{"ok", false}, {"error", error}});
    }
    if (path == "/stop") {
        if (!post) {
            co_return failure(405, "use POST");
        }
        // The caller sees its request acknowledged before the core goes.
        auto response = answer({{"ok", true}});
        response.afterWritten = [&control = m_control] {
            control.stop("stop requested through the controller API");
        };
        co_return response;
    }
    co_return failure(404, "no endpoint " + path);
}

ApiResponse ControlApi::status()
{
    const auto core = m_readout.status();
    return answer({{"running", true},
                   {"uplink", core.uplink},
                   {"downlink", core.downlink},
                   {"version", "0.1.0"},
                   {"mode", core.mode},
                   {"connections", core.connections},
                   {"failing", core.failing},
                   {"networkChanges", core.networkChanges}});
}

ApiResponse ControlApi::stats()
{
    return answer(m_readout.foldedStatistics().toJson(std::time(nullptr)));
}

ApiResponse ControlApi::connections()
{
    return answer(m_readout.attributedConnections().toJson());
}

ApiResponse ControlApi::history(const ApiRequest& request)
{
    const auto dimensionIt = request.query.find("dimension");
    const auto dimension = dimensionIt == request.query.end()
                               ? std::nullopt
                               : TrafficHistory::dimensionNamed(dimensionIt->second);
    if (!dimension) {
        return failure(400, "dimension must be process, device, domain or policy");
    }
    int days = 1;
    if (const auto daysIt = request.query.find("days"); daysIt != request.query.end()) {
        const auto& text = daysIt->second;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
        const int keep = m_readout.foldedHistory().keepDays();
        if (error != std::errc() || end != text.data() + text.size() || days < 1 || days > keep) {
            return failure(400, "days must be a whole number from 1 to " + std::to_string(keep));
        }
    }
    return answer(m_readout.foldedHistory().query(*dimension, days, std::time(nullptr)));
}

ApiResponse ControlApi::outbound(const ApiRequest& request)
{
    const auto modeIt = request.query.find("mode");
    if (modeIt != request.query.end()) {
        const auto mode = toLower(modeIt->second);
        if (mode != "direct" && mode != "global" && mode != "rule") {
            return failure(400, "mode must be direct, global or rule");
        }
        const auto nodeIt = request.query.find("node");
        std::string globalPolicy;
        if (mode == "global" && nodeIt != request.query.end() && !nodeIt->second.empty()) {
            const auto nodes = m_control.outbound().nodes;
            if (std::find(nodes.begin(), nodes.end(), nodeIt->second) == nodes.end() &&
                nodeIt->second != "DIRECT") {
                return failure(400, "\"" + nodeIt->second + "\" is not a proxy or group");
            }
            globalPolicy = nodeIt->second;
        }
        m_control.setOutbound(mode, globalPolicy);
    }
    const auto state = m_control.outbound();
    return answer({{"mode", state.mode}, {"global", state.global}, {"nodes", state.nodes}});
}

ApiResponse ControlApi::groups()
{
    const auto& groups = m_readout.policyGroups();
    auto out = json::array();
    for (const auto& group : groups.groups()) {
        json delays = json::object();
        for (const auto& member : group.members) {
            if (const auto delay = groups.delay(member)) {
                delays[member] = *delay;
            }
        }
        out.push_back({{"name", group.name},
                       {"type", group.typeText},
                       {"members", group.members},
                       {"selected", groups.current(group.name)},
                       {"delays", delays}});
    }
    return answer(out);
}

ApiResponse ControlApi::logs(const ApiRequest& request)
{
    const auto& log = m_readout.logStream();
    const auto slice = log.since(cursorOf(request, -1));
    return answer({{"capacity", log.capacity()}, {"lines", slice.lines}, {"cursor", slice.cursor}});
}

asio::awaitable<ApiResponse> ControlApi::test(const ApiRequest& request)
{
    const auto it = request.query.find("node");
    if (it == request.query.end() || it->second.empty()) {
        co_return answer({{"ms", -1}, {"error", "node= is required"}}, 400);
    }
    const DelayResult delay = co_await m_control.testPolicy(it->second);
    if (delay.ms < 0) {
        co_return answer({{"ms", -1}, {"failure", delay.failure.empty() ? "timeout" : delay.failure}});
    }
    co_return answer({{"ms", delay.ms}});
}

ApiResponse ControlApi::select(const ApiRequest& request)
{
    std::string group;
    std::string member;
    const auto body = json::parse(request.body, nullptr, false);
    if (body.is_object() && body.contains("group") && body["group"].is_string() && body.contains("member") &&
        body["member"].is_string()) {
        group = body["group"].get<std::string>();
        member = body["member"].get<std::string>();
    } else if (request.query.count("group") && request.query.count("member")) {
        group = request.query.at("group");
        member = request.query.at("member");
    } else {
        return failure(400, R"(expected {"group": ..., "member": ...})");
    }
    std::string error;
    if (!m_control.select(group, member, &error)) {
        return failure(400, error);
    }
    return answer({{"ok", true}});
}

ApiResponse ControlApi::socks(const ApiRequest& request)
{
    const auto state = [this](json out) {
        const auto socks = m_control.socks();
        out["running"] = socks.running;
        out["address"] = socks.address;
        return answer(out);
    };
    if (request.method != "POST") {
        return state(json::object());
    }
    const auto it = request.query.find("listen");
    if (it == request.query.end()) {
        return failure(400, "listen= is required");
    }
    if (const auto error = m_control.listenSocks(it->second); !error.empty()) {
        auto out = state({{"ok", false}, {"error", error}});
        out.status = 400;
        return out;
    }
    return state({{"ok", true}});
}

asio::awaitable<ApiResponse> ControlApi::ruleSets(const ApiRequest& request)
{
    if (request.method == "POST") {
        co_await m_control.updateRuleSets();
        co_return answer({{"ok", true}});
    }
    co_return answer(m_readout.ruleSetStore().toJson());
}

ApiResponse ControlApi::events(const ApiRequest& request)
{
    auto events = json::array();
    for (const auto& event : m_readout.eventLog().since(cursorOf(request, 0))) {
        events.push_back({{"title", event.title}, {"message", event.message}});
    }
    return answer({{"events", events}, {"cursor", m_readout.eventLog().lastNumber()}});
}

} // namespace ferrow::core
