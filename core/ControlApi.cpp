// The controller API's endpoints: what the application polls and the operations it sends.

#include "ControlServer.h"
#include "CoreService.h"
#include "ProxyServer.h"

#include <boost/asio/steady_timer.hpp>
#include <charconv>
#include <nlohmann/json.hpp>

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
    return {status, body.dump(-1, ' ', false, json::error_handler_t::replace)};
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

asio::awaitable<ApiResponse> CoreService::handleApi(ApiRequest request)
{
    const auto& path = request.path;
    const bool post = request.method == "POST";
    if (path == "/status") {
        co_return apiStatus();
    }
    if (path == "/stats") {
        co_return apiStats();
    }
    if (path == "/connections") {
        co_return apiConnections();
    }
    if (path == "/outbound") {
        co_return apiOutbound(request);
    }
    if (path == "/groups") {
        co_return apiGroups();
    }
    if (path == "/logs") {
        co_return apiLogs(request);
    }
    if (path == "/test") {
        co_return co_await apiTest(request);
    }
    if (path == "/select") {
        co_return post ? apiSelect(request) : failure(405, "use POST");
    }
    if (path == "/socks") {
        co_return apiSocks(request);
    }
    if (path == "/rulesets") {
        co_return co_await apiRuleSets(request);
    }
    if (path == "/events") {
        co_return apiEvents(request);
    }
    if (path == "/reload") {
        if (!post) {
            co_return failure(405, "use POST");
        }
        const auto error = reload();
        co_return error.empty() ? answer({{"ok", true}}) : answer({{"ok", false}, {"error", error}});
    }
    if (path == "/stop") {
        if (!post) {
            co_return failure(405, "use POST");
        }
        // Answer first, then stop, so the caller sees its request acknowledged.
        auto timer = std::make_shared<asio::steady_timer>(m_io, std::chrono::milliseconds(20));
        timer->async_wait([this, timer](const boost::system::error_code&) {
            stop("stop requested through the controller API");
        });
        co_return answer({{"ok", true}});
    }
    co_return failure(404, "no endpoint " + path);
}

ApiResponse CoreService::apiStatus()
{
    return answer({{"running", true},
                   {"uplink", m_uplink.load()},
                   {"downlink", m_downlink.load()},
                   {"version", "0.1.0"},
                   {"mode", m_mode},
                   {"connections", m_connections.openCount()},
                   {"failing", m_nodeHealth.failing()}});
}

ApiResponse CoreService::apiStats()
{
    foldTraffic();
    return answer(m_statistics.toJson(std::time(nullptr)));
}

ApiResponse CoreService::apiConnections()
{
    attributeConnections();
    return answer(m_connections.toJson());
}

ApiResponse CoreService::apiOutbound(const ApiRequest& request)
{
    const auto modeIt = request.query.find("mode");
    if (modeIt != request.query.end()) {
        const auto mode = toLower(modeIt->second);
        if (mode != "direct" && mode != "global" && mode != "rule") {
            return failure(400, "mode must be direct, global or rule");
        }
        const auto nodeIt = request.query.find("node");
        if (mode == "global" && nodeIt != request.query.end() && !nodeIt->second.empty()) {
            const auto nodes = globalNodes();
            if (std::find(nodes.begin(), nodes.end(), nodeIt->second) == nodes.end() &&
                nodeIt->second != "DIRECT") {
                return failure(400, "\"" + nodeIt->second + "\" is not a proxy or group");
            }
            m_globalPolicy = nodeIt->second;
        }
        if (mode != m_mode || mode == "global") {
            m_log.info("outbound mode: " + mode + (mode == "global" ? " through " + m_globalPolicy : ""));
        }
        m_mode = mode;
    }
    return answer({{"mode", m_mode}, {"global", m_globalPolicy}, {"nodes", globalNodes()}});
}

ApiResponse CoreService::apiGroups()
{
    auto out = json::array();
    for (const auto& group : m_groups.groups()) {
        json delays = json::object();
        for (const auto& member : group.members) {
            if (const auto delay = m_groups.delay(member)) {
                delays[member] = *delay;
            }
        }
        out.push_back({{"name", group.name},
                       {"type", group.typeText},
                       {"members", group.members},
                       {"selected", m_groups.current(group.name)},
                       {"delays", delays}});
    }
    return answer(out);
}

ApiResponse CoreService::apiLogs(const ApiRequest& request)
{
    const auto slice = m_log.since(cursorOf(request, -1));
    return answer({{"capacity", m_log.capacity()}, {"lines", slice.lines}, {"cursor", slice.cursor}});
}

asio::awaitable<ApiResponse> CoreService::apiTest(const ApiRequest& request)
{
    const auto it = request.query.find("node");
    if (it == request.query.end() || it->second.empty()) {
        co_return answer({{"ms", -1}, {"error", "node= is required"}}, 400);
    }
    const DelayResult delay = co_await measureDelay(it->second);
    if (m_groups.find(it->second) == nullptr) {
        m_groups.setDelay(it->second, delay.ms);
    }
    if (delay.ms < 0) {
        co_return answer({{"ms", -1}, {"failure", delay.failure.empty() ? "timeout" : delay.failure}});
    }
    co_return answer({{"ms", delay.ms}});
}

ApiResponse CoreService::apiSelect(const ApiRequest& request)
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
    if (!m_groups.select(group, member, &error)) {
        m_log.warning("selection refused: " + error);
        return failure(400, error);
    }
    m_log.info("group " + group + " now uses " + member);
    return answer({{"ok", true}});
}

ApiResponse CoreService::apiSocks(const ApiRequest& request)
{
    const auto state = [this](json out) {
        out["running"] = m_proxy && m_proxy->running();
        out["address"] = m_proxy ? m_proxy->address() : std::string();
        return answer(out);
    };
    if (request.method != "POST") {
        return state(json::object());
    }
    const auto it = request.query.find("listen");
    if (it == request.query.end()) {
        return failure(400, "listen= is required");
    }
    if (!m_proxy) {
        m_proxy = std::make_unique<ProxyServer>(m_io.get_executor(), *this);
    }
    if (it->second.empty()) {
        m_proxy->closeListener();
        m_log.info("proxy listener closed");
        return state({{"ok", true}});
    }
    if (m_proxy->running() && HostPort::parse(it->second) && HostPort::parse(m_proxy->address()) &&
        HostPort::parse(it->second)->toString() == m_proxy->address()) {
        return state({{"ok", true}});
    }
    std::string error;
    if (!m_proxy->listen(it->second, &error)) {
        m_log.warning("proxy listener not moved: " + error);
        auto out = state({{"ok", false}, {"error", error}});
        out.status = 400;
        return out;
    }
    m_log.info("HTTP and SOCKS5 proxy listening on " + m_proxy->address());
    return state({{"ok", true}});
}

asio::awaitable<ApiResponse> CoreService::apiRuleSets(const ApiRequest& request)
{
    if (request.method == "POST") {
        co_await m_ruleSets->updateAll(m_resolver);
        co_return answer({{"ok", true}});
    }
    co_return answer(m_ruleSets->toJson());
}

ApiResponse CoreService::apiEvents(const ApiRequest& request)
{
    auto events = json::array();
    for (const auto& event : m_events.since(cursorOf(request, 0))) {
        events.push_back({{"title", event.title}, {"message", event.message}});
    }
    return answer({{"events", events}, {"cursor", m_events.lastNumber()}});
}

} // namespace ferrow::core
