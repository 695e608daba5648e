#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

/// The helper's protocol: one JSON object per line in each direction over the helper's Unix
/// socket. A request is {"id": n, "method": name, "params": {...}}; its one reply carries the same
/// id and the method's result. Parsing is pure, so it can be tested and fuzzed without a socket.
namespace ferrow::helperprotocol {

inline constexpr char kGetVersion[] = "getVersion";
inline constexpr char kStartCore[] = "startCore";
inline constexpr char kStopCore[] = "stopCore";
inline constexpr char kIsCoreRunning[] = "isCoreRunning";

/// Longest line either side accepts, newline excluded.
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} * 1024;
/// Longest text argument (a path or a tunnel name).
inline constexpr std::size_t kMaxTextBytes = 4096;

/// The tunnel interface Enhanced Mode asks for.
inline constexpr char kDefaultTunName[] = "utun9";

inline constexpr char kErrorDomain[] = "FerrowHelper";
inline constexpr int kErrorCode = 1;

enum class Method { GetVersion, StartCore, StopCore, IsCoreRunning };

struct StartCoreParams {
    std::string corePath;
    std::string configPath;
    std::string apiInfoPath;
    std::string ruleSetDir;
    std::string tunName;
    bool gateway = false;
};

struct Request {
    std::uint64_t id = 0;
    Method method = Method::GetVersion;
    StartCoreParams start; ///< only for StartCore
};

struct HelperError {
    std::string domain = kErrorDomain;
    int code = kErrorCode;
    std::string description;
};

struct Reply {
    std::uint64_t id = 0;
    std::optional<std::int64_t> version;
    std::optional<bool> running;
    std::optional<HelperError> error;
};

/// Why a message was refused; the connection that sent it is closed.
struct ProtocolError {
    std::string text;
};

std::variant<Request, ProtocolError> parseRequest(std::string_view line);
std::variant<Reply, ProtocolError> parseReply(std::string_view line);

/// One line each, newline included.
std::string formatRequest(const Request& request);
std::string formatVersionReply(std::uint64_t id, std::int64_t version);
std::string formatRunningReply(std::uint64_t id, bool running);
std::string formatErrorReply(std::uint64_t id, const std::optional<HelperError>& error);

enum class LineStatus { Line, NeedMore, TooLong };

/// Takes the first complete line out of `buffer` into `line` (without its newline). TooLong when
/// `maxBytes` pass without a newline; the buffer is then useless and the connection must close.
LineStatus takeLine(std::string& buffer, std::string& line, std::size_t maxBytes = kMaxLineBytes);

} // namespace ferrow::helperprotocol
