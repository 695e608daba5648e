#include <variant>

#include <gtest/gtest.h>

#include "FRWHelperProtocol.h"

namespace proto = ferrow::helperprotocol;

TEST(HelperProtocol, RequestsRoundTrip)
{
    proto::Request request;
    request.id = 42;
    request.method = proto::Method::StartCore;
    request.start = {"/opt/core", "/home/a'b\"c\\d/profile.conf", "/run/ferrow/api-info.json", "", "utun9",
                     true};
    const std::string line = proto::formatRequest(request);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "a request spans lines";
    const auto parsed = proto::parseRequest(std::string_view(line).substr(0, line.size() - 1));
    ASSERT_TRUE(std::holds_alternative<proto::Request>(parsed));
    const auto& back = std::get<proto::Request>(parsed);
    EXPECT_EQ(back.id, 42u);
    EXPECT_EQ(back.method, proto::Method::StartCore);
    EXPECT_EQ(back.start.configPath, request.start.configPath);
    EXPECT_EQ(back.start.tunName, "utun9");
    EXPECT_TRUE(back.start.gateway);
}

TEST(HelperProtocol, RepliesRoundTrip)
{
    const auto version = proto::parseReply(proto::formatVersionReply(3, 4));
    ASSERT_TRUE(std::holds_alternative<proto::Reply>(version));
    EXPECT_EQ(std::get<proto::Reply>(version).version, 4);

    proto::HelperError error;
    error.description = "core already running";
    const auto failed = proto::parseReply(proto::formatErrorReply(9, error));
    ASSERT_TRUE(std::holds_alternative<proto::Reply>(failed));
    const auto& reply = std::get<proto::Reply>(failed);
    EXPECT_EQ(reply.id, 9u);
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->domain, "FerrowHelper");
    EXPECT_EQ(reply.error->code, 1);
    EXPECT_EQ(reply.error->description, "core already running");

    const auto ok = proto::parseReply(proto::formatErrorReply(10, std::nullopt));
    ASSERT_TRUE(std::holds_alternative<proto::Reply>(ok));
    EXPECT_FALSE(std::get<proto::Reply>(ok).error);
}

TEST(HelperProtocol, BadRepliesAreProtocolErrors)
{
    for (const char* line :
         {"", "{", "null", R"({"version": 4})", R"({"id": 1, "version": "4"})", R"({"id": 1, "running": 1})",
          R"({"id": 1, "error": "no"})", R"({"id": 1, "error": {"code": 1}})"}) {
        EXPECT_TRUE(std::holds_alternative<proto::ProtocolError>(proto::parseReply(line))) << line;
    }
}

TEST(HelperProtocol, TextArgumentsAreBounded)
{
    std::string params =
        R"({"id": 1, "method": "startCore", "params": {"corePath": ")" +
        std::string(proto::kMaxTextBytes + 1, 'a') +
        R"(", "configPath": "", "apiInfoPath": "", "ruleSetDir": "", "tunName": "", "gateway": false}})";
    EXPECT_TRUE(std::holds_alternative<proto::ProtocolError>(proto::parseRequest(params)));
    const std::string withoutGateway =
        R"({"id": 1, "method": "startCore", "params": {"corePath": "", "configPath": "", "apiInfoPath": "", "ruleSetDir": "", "tunName": ""}})";
    EXPECT_TRUE(std::holds_alternative<proto::ProtocolError>(proto::parseRequest(withoutGateway)));
}

TEST(HelperProtocol, TakeLineSplitsAndBoundsLines)
{
    std::string buffer = "one\ntwo\nthr";
    std::string line;
    ASSERT_EQ(proto::takeLine(buffer, line), proto::LineStatus::Line);
    EXPECT_EQ(line, "one");
    ASSERT_EQ(proto::takeLine(buffer, line), proto::LineStatus::Line);
    EXPECT_EQ(line, "two");
    EXPECT_EQ(proto::takeLine(buffer, line), proto::LineStatus::NeedMore);
    EXPECT_EQ(buffer, "thr");

    std::string longOne(11, 'x');
    EXPECT_EQ(proto::takeLine(longOne, line, 10), proto::LineStatus::TooLong);
    std::string exact = std::string(10, 'x') + "\n";
    EXPECT_EQ(proto::takeLine(exact, line, 10), proto::LineStatus::Line);
    std::string overWithNewline = std::string(11, 'x') + "\n";
    EXPECT_EQ(proto::takeLine(overWithNewline, line, 10), proto::LineStatus::TooLong);
}
