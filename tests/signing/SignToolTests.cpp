#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"
#include "FRWNames.h"
#include "FRWSignature.h"
#include "FRWSigningKey.h"
#include "TemporaryHome.h"

namespace sig = ferrow::signature;
using ferrow::test::readFile;
using ferrow::test::writeFile;

namespace {

/// Runs ferrow-sign with the arguments, standard output and error to the null device; the exit status.
int runTool(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {FERROW_SIGN_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    ferrow::test::ChildProcess::Options options;
    options.output = ferrow::test::ChildStream::null();
    options.error = ferrow::test::ChildStream::null();
    ferrow::test::ChildProcess tool(argv, std::move(options));
    return tool.wait(std::chrono::minutes(1)).value_or(-1);
}

class SignToolTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (home.root() / name).string(); }

    ferrow::test::TemporaryHome home;
};

} // namespace

TEST_F(SignToolTest, KeygenSignVerifyRoundTrip)
{
    ASSERT_EQ(runTool({"keygen", path("key.pem"), path("pub.pem")}), 0);
    struct stat status {};
    ASSERT_EQ(::stat(path("key.pem").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the private key is readable by others";
    EXPECT_NE(runTool({"keygen", path("key.pem"), path("other.pem")}), 0) << "keygen overwrote a key";

    writeFile(path("program"), "#!/bin/sh\nexit 0\n");
    ::chmod(path("program").c_str(), 0751);
    ASSERT_EQ(runTool({"sign", "--identifier", "ferrow-core", "--key", path("key.pem"), path("program")}), 0);
    EXPECT_EQ(
        runTool({"verify", "--identifier", "ferrow-core", "--pubkey", path("pub.pem"), path("program")}), 0);
    EXPECT_EQ(runTool({"verify", "--identifier", "zq.orbel.ferrow-mac", "--pubkey", path("pub.pem"),
                       path("program")}),
              1);
    ASSERT_EQ(::stat(path("program").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0751u) << "signing changed the file's mode";
}

TEST_F(SignToolTest, SigningAgainKeepsTheFileAndAnotherIdentifierReplacesTheTrailer)
{
    ASSERT_EQ(runTool({"keygen", path("key.pem"), path("pub.pem")}), 0);
    writeFile(path("program"), "payload");
    ASSERT_EQ(runTool({"sign", "--identifier", "one", "--key", path("key.pem"), path("program")}), 0);
    const std::string once = readFile(path("program"));
    ASSERT_EQ(runTool({"sign", "--identifier", "one", "--key", path("key.pem"), path("program")}), 0);
    EXPECT_EQ(readFile(path("program")), once);

    ASSERT_EQ(runTool({"sign", "--identifier", "two", "--key", path("key.pem"), path("program")}), 0);
    const std::string twice = readFile(path("program"));
    EXPECT_EQ(twice.substr(0, 7), "payload");
    EXPECT_EQ(twice.size(), once.size()) << "the old trailer was kept under the new one";
    EXPECT_EQ(runTool({"verify", "--identifier", "two", "--pubkey", path("pub.pem"), path("program")}), 0);
}

TEST_F(SignToolTest, BadInvocationsFailWithoutTouchingTheFile)
{
    ASSERT_EQ(runTool({"keygen", path("key.pem"), path("pub.pem")}), 0);
    writeFile(path("program"), "payload");
    EXPECT_EQ(runTool({"sign", "--key", path("key.pem"), path("program")}), 2);
    EXPECT_EQ(runTool({"sign", "--identifier", "bad id", "--key", path("key.pem"), path("program")}), 1);
    EXPECT_EQ(runTool({"sign", "--identifier", "x", "--key", path("pub.pem"), path("program")}), 1);
    EXPECT_EQ(runTool({"sign", "--identifier", "x", "--key", path("missing.pem"), path("program")}), 1);
    EXPECT_EQ(runTool({"verify", "--identifier", "x", "--pubkey", path("pub.pem"), path("program")}), 1);
    EXPECT_EQ(runTool({"frobnicate"}), 2);
    EXPECT_EQ(readFile(path("program")), "payload");
}

TEST(BuiltBinaries, TheBuiltCoreCarriesTheBuildSignature)
{
    const auto bytes = sig::readFile(FERROW_CORE_BINARY, sig::kMaxSignedFileSize);
    ASSERT_TRUE(bytes) << "the core was not built";
    EXPECT_EQ(sig::verify(*bytes, ferrow::kCoreIdentifier, ferrow::kMakerPublicKeyPem),
              sig::VerifyStatus::Valid);
}

TEST(BuiltBinaries, TheBuiltHelperCarriesTheBuildSignature)
{
    const auto bytes = sig::readFile(FERROW_HELPER_BINARY, sig::kMaxSignedFileSize);
    ASSERT_TRUE(bytes) << "the helper was not built";
    EXPECT_EQ(sig::verify(*bytes, ferrow::kHelperIdentifier, ferrow::kMakerPublicKeyPem),
              sig::VerifyStatus::Valid);
}
