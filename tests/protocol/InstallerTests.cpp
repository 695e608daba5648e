#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "QrDecode.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeTool(const fs::path& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/bash\necho \"$(basename \"$0\") $*\" >> \"$(dirname \"$0\")/calls\"\n"
                        << body;
    fs::permissions(path, fs::perms::owner_all);
}

/// A temporary root and fake systemctl, firewall and user tools that record their calls.
class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ferrow-installer-XXXXXX";
        base = mkdtemp(pattern);
        root = base / "root";
        tools = base / "tools";
        fs::create_directories(root);
        fs::create_directories(tools);
        writeTool(tools / "systemctl", "exit 0\n");
        writeTool(tools / "sysctl", "exit 0\n");
        writeTool(tools / "useradd", "touch \"$(dirname \"$0\")/user-exists\"\n");
        writeTool(tools / "userdel", "rm -f \"$(dirname \"$0\")/user-exists\"\n");
        writeTool(tools / "chgrp", "exit 0\n");
        writeTool(tools / "getent", "[ -f \"$(dirname \"$0\")/user-exists\" ] && echo "
                                    "'ferrow-server:x:999:999::/nonexistent:/usr/sbin/nologin'\n"
                                    "[ -f \"$(dirname \"$0\")/user-exists\" ]\n");
    }
    void TearDown() override { fs::remove_all(base); }

    void activeUfw() { writeTool(tools / "ufw", "[ \"$1\" = status ] && echo 'Status: active'\nexit 0\n"); }
    void activeNft()
    {
        // Keeps the inserted rule in a file, so a second install sees it and adds no other.
        writeTool(tools / "nft", "rule=\"$(dirname \"$0\")/nft-rule\"\n"
                                 "case \"$1 $2\" in\n"
                                 "  'insert rule') touch \"$rule\" ;;\n"
                                 "  'delete rule') rm -f \"$rule\" ;;\n"
                                 "  '-a list') [ -f \"$rule\" ] && echo '  tcp dport 1 accept comment "
                                 "\"ferrow-server\" # handle 7' ;;\n"
                                 "esac\nexit 0\n");
    }

    std::pair<int, std::string> run(const std::string& arguments)
    {
        return runScript(FERROW_INSTALLER_PATH, arguments);
    }
    std::pair<int, std::string> runScript(const std::string& script, const std::string& arguments)
    {
        const std::string command = "PATH='" + tools.string() + "':\"$PATH\" bash '" + script + "' --root '" +
                                    root.string() + "' " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (pipe && fgets(buffer, sizeof buffer, pipe)) {
            output += buffer;
        }
        const int status = pipe ? pclose(pipe) : -1;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }
    std::string install()
    {
        return run(std::string("--host 203.0.113.9 --binary '") + FERROW_SERVER_PATH + "'").second;
    }
    std::string calls() { return readText(tools / "calls"); }

    fs::path base;
    fs::path root;
    fs::path tools;
};

std::string field(const std::string& output, const std::string& label)
{
    std::smatch match;
    const std::regex pattern("  " + label + ": *(\\S+)");
    return std::regex_search(output, match, pattern) ? match[1].str() : std::string();
}

std::string decodeBase64Url(std::string text)
{
    for (auto& c : text) {
        c = c == '-' ? '+' : (c == '_' ? '/' : c);
    }
    while (text.size() % 4) {
        text.push_back('=');
    }
    const std::string command = "printf %s '" + text + "' | base64 -d";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) {
        out += buffer;
    }
    pclose(pipe);
    return out;
}

mode_t modeOf(const fs::path& path)
{
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST_F(InstallerTest, InstallsTheServerAndPrintsKeyPortAndAWorkingLink)
{
    activeUfw();
    const auto [status, output] =
        run(std::string("--host 203.0.113.9 --binary '") + FERROW_SERVER_PATH + "'");
    ASSERT_EQ(status, 0) << output;
    const auto psk = field(output, "PSK");
    const auto port = field(output, "Port");
    ASSERT_TRUE(std::regex_match(psk, std::regex("[A-Za-z0-9_-]{43}"))) << output;
    ASSERT_FALSE(port.empty());
    EXPECT_GE(std::stoi(port), 20000);
    EXPECT_LT(std::stoi(port), 60000);
    // The link carries the key text in unpadded base64url; reading it gives the key back.
    std::smatch link;
    ASSERT_TRUE(std::regex_search(
        output, link, std::regex("ferrow://([A-Za-z0-9_-]+)@203\\.0\\.113\\.9:(\\d+)\\?tfo=auto#")));
    EXPECT_EQ(decodeBase64Url(link[1].str()), psk);
    EXPECT_EQ(link[2].str(), port);
    // The QR code printed under it reads back to the same link.
    const std::string shown = field(output, "Link");
    const auto codeStart = output.find('\n', output.find("scan this code"));
    ASSERT_NE(codeStart, std::string::npos) << output;
    const auto decoded = ferrow::test::decodeQr(ferrow::test::imageOfBlockText(output.substr(codeStart + 1)));
    EXPECT_EQ(decoded.value_or("nothing"), shown);

    const auto etc = root / "etc/ferrow-server";
    EXPECT_EQ(readText(etc / "psk"), psk + "\n");
    EXPECT_EQ(modeOf(etc / "psk"), 0640U);
    EXPECT_EQ(modeOf(etc), 0750U);
    EXPECT_NE(readText(etc / "server.conf").find("listen = [::]:" + port + "\n"), std::string::npos);
    EXPECT_EQ(readText(root / "usr/local/bin/ferrow-server"), readText(FERROW_SERVER_PATH));
    EXPECT_EQ(modeOf(root / "usr/local/bin/ferrow-server"), 0755U);
    EXPECT_EQ(readText(root / "etc/systemd/system/ferrow-server.service"), readText(FERROW_UNIT_PATH))
        << "the unit the installer writes is the packaged one";

    const auto log = calls();
    EXPECT_NE(log.find("useradd --system"), std::string::npos);
    const auto reload = log.find("systemctl daemon-reload");
    const auto enable = log.find("systemctl enable ferrow-server.service");
    const auto restart = log.find("systemctl restart ferrow-server.service");
    EXPECT_LT(reload, enable);
    EXPECT_LT(enable, restart);
    EXPECT_NE(restart, std::string::npos);
    EXPECT_NE(log.find("ufw allow " + port + "/tcp"), std::string::npos);

    // The written configuration is one the server accepts: with only the listen address
    // overridden (to one it cannot use) it gets past the key and options and stops there.
    const std::string check = std::string(FERROW_SERVER_PATH) + " --config '" +
                              (etc / "server.conf").string() + "' --psk-file '" + (etc / "psk").string() +
                              "' --listen nowhere:1 2>&1";
    FILE* pipe = popen(check.c_str(), "r");
    char buffer[512] = {};
    fgets(buffer, sizeof buffer, pipe);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1) << buffer;
    EXPECT_NE(std::string(buffer).find("cannot use listen address"), std::string::npos) << buffer;
}

TEST_F(InstallerTest, RunningAgainKeepsKeyPortAndUser)
{
    const auto first = install();
    const auto second = install();
    EXPECT_EQ(field(first, "PSK"), field(second, "PSK"));
    EXPECT_EQ(field(first, "Port"), field(second, "Port"));
    const auto log = calls();
    EXPECT_EQ(log.find("useradd"), log.rfind("useradd")) << "the user is made once";
    EXPECT_EQ(log.find("ufw"), std::string::npos) << "no firewall is active, none is touched";
    EXPECT_EQ(log.find("nft"), std::string::npos);
}

TEST_F(InstallerTest, RunningAgainKeepsTheAdminsEditsAndAShortKeyWithAWarning)
{
    install();
    const auto etc = root / "etc/ferrow-server";
    // The admin moves the port, turns up logging and sets a hand-made key clients already use.
    std::ofstream(etc / "server.conf") << "# mine\nlisten = [::]:31337\npsk-file = /etc/ferrow-server/psk\n"
                                          "log-level = debug\nidle-timeout = 60\n";
    const std::string edited = readText(etc / "server.conf");
    std::ofstream(etc / "psk") << "summer2024summer\n";
    const auto output = install();
    EXPECT_EQ(readText(etc / "server.conf"), edited);
    EXPECT_EQ(readText(etc / "psk"), "summer2024summer\n") << "every client would break";
    EXPECT_EQ(field(output, "PSK"), "summer2024summer");
    EXPECT_EQ(field(output, "Port"), "31337");
    EXPECT_NE(output.find("Warning: the key in /etc/ferrow-server/psk has 16 characters"), std::string::npos)
        << output;
    EXPECT_EQ(install().find("Below 16 characters"), std::string::npos);
    std::ofstream(etc / "psk") << "too-short\n";
    EXPECT_NE(install().find("Below 16 characters ferrow-server refuses it"), std::string::npos);
}

TEST_F(InstallerTest, NftablesOpeningAndUninstallRemovesEverything)
{
    activeNft();
    const auto output = install();
    const auto port = field(output, "Port");
    EXPECT_NE(calls().find("nft insert rule inet filter input tcp dport " + port + " accept"),
              std::string::npos)
        << calls();
    install();
    const auto log = calls();
    EXPECT_EQ(log.find("nft insert"), log.rfind("nft insert")) << "the opening is made once";
    const auto [status, removal] = run("--uninstall");
    ASSERT_EQ(status, 0) << removal;
    EXPECT_FALSE(fs::exists(root / "usr/local/bin/ferrow-server"));
    EXPECT_FALSE(fs::exists(root / "etc/ferrow-server"));
    EXPECT_FALSE(fs::exists(root / "etc/systemd/system/ferrow-server.service"));
    EXPECT_FALSE(fs::exists(root / "etc/sysctl.d/60-ferrow-server.conf"));
    const auto removed = calls();
    EXPECT_NE(removed.find("systemctl disable --now ferrow-server.service"), std::string::npos);
    EXPECT_NE(removed.find("nft delete rule inet filter input handle 7"), std::string::npos);
    EXPECT_NE(removed.find("userdel ferrow-server"), std::string::npos);
    EXPECT_FALSE(fs::exists(tools / "user-exists"));
    // A fresh install after removal makes a new key.
    EXPECT_NE(field(install(), "PSK"), field(output, "PSK"));
}

TEST_F(InstallerTest, UfwOpeningIsRemovedOnUninstallAndBadArgumentsAreRefused)
{
    activeUfw();
    const auto port = field(install(), "Port");
    ASSERT_EQ(run("--uninstall").first, 0);
    EXPECT_NE(calls().find("ufw delete allow " + port + "/tcp"), std::string::npos);
    const auto behindNat = run(std::string("--host 10.1.2.3 --binary '") + FERROW_SERVER_PATH + "'").second;
    EXPECT_NE(behindNat.find("10.1.2.3 is a private address"), std::string::npos) << behindNat;
    EXPECT_EQ(install().find("private address"), std::string::npos);
    EXPECT_EQ(run("--frobnicate").first, 2);
    EXPECT_EQ(run("--binary /nonexistent --host h").first, 1);
}

TEST_F(InstallerTest, DownloadsOnlyFromTheBuildsReleaseLocationAndOnlyWhatItsKeySigned)
{
    // Copies outside any checkout, as the script is handed out, with what a build writes into it.
    const std::string original = readText(FERROW_INSTALLER_PATH);
    const auto handedOut = [&](const std::string& location, const std::string& key) {
        std::string text = original;
        for (const auto& [name, value] : {std::pair{std::string("RELEASE_LOCATION"), location},
                                          std::pair{std::string("RELEASE_PUBLIC_KEY"), key}}) {
            const std::string empty = name + "=\"\"";
            text.replace(text.find(empty), empty.size(), name + "=\"" + value + "\"");
        }
        const fs::path script = base / "handed-out.sh";
        std::ofstream(script) << text;
        return script.string();
    };
    const auto [refused, why] = runScript(handedOut("", ""), "--host 203.0.113.9");
    EXPECT_EQ(refused, 1);
    EXPECT_NE(why.find("names no release location"), std::string::npos) << why;
    EXPECT_EQ(why.find("://"), std::string::npos) << "an address of no one we know was named";

    // A release folder signed with a key of the test's own.
    const fs::path releases = base / "published" / "releases";
    fs::create_directories(releases / "pack");
    fs::copy_file(FERROW_SERVER_PATH, releases / "pack" / "ferrow-server");
    const std::string tarball = (releases / "ferrow-server-linux-").string() + "$(uname -m).tar.gz";
    const std::string keys = (base / "release").string();
    ASSERT_EQ(
        std::system(("tar -czf " + tarball + " -C '" + (releases / "pack").string() + "' ferrow-server && " +
                     "openssl genpkey -algorithm ed25519 -out '" + keys + ".key' && openssl pkey -in '" +
                     keys + ".key' -pubout -out '" + keys + ".pub' && openssl pkeyutl -sign -rawin -inkey '" +
                     keys + ".key' -in " + tarball + " -out " + tarball + ".sig")
                        .c_str()),
        0);
    const std::string signedBy =
        handedOut("file://" + (base / "published").string(), readText(keys + ".pub"));
    const auto [installed, output] = runScript(signedBy, "--host 203.0.113.9");
    EXPECT_EQ(installed, 0) << output;
    EXPECT_TRUE(fs::exists(root / "usr/local/bin/ferrow-server"));

    // One byte changed after signing: refused, and nothing of it is installed.
    ASSERT_EQ(run("--uninstall").first, 0);
    ASSERT_EQ(std::system(("printf x >> " + tarball).c_str()), 0);
    const auto [tampered, message] = runScript(signedBy, "--host 203.0.113.9");
    EXPECT_EQ(tampered, 1);
    EXPECT_NE(message.find("signature does not hold"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(root / "usr/local/bin/ferrow-server"));
}
