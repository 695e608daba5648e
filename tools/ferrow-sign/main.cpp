// ferrow-sign: makes signing keys, signs Ferrow's binaries and checks their signatures.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "FRWSignature.h"

namespace {

namespace sig = ferrow::signature;

constexpr std::size_t kMaxKeyFileSize = std::size_t{64} * 1024;

int usage()
{
    std::fprintf(stderr, "usage: ferrow-sign keygen PRIVATE_KEY_OUT PUBLIC_KEY_OUT\n"
                         "       ferrow-sign sign --identifier ID --key PRIVATE_KEY FILE\n"
                         "       ferrow-sign verify --identifier ID --pubkey PUBLIC_KEY FILE\n");
    return 2;
}

int failure(const std::string& text)
{
    std::fprintf(stderr, "ferrow-sign: %s\n", text.c_str());
    return 1;
}

std::optional<std::string> readText(const std::string& path)
{
    auto bytes = sig::readFile(path, kMaxKeyFileSize);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

/// Writes `bytes` next to `path` and renames the copy into place, so a reader never sees half.
bool writeAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, mode_t mode)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    std::size_t written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool createExclusively(const std::string& path, const std::string& text, mode_t mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

int keygen(const std::vector<std::string>& args)
{
    if (args.size() != 2) {
        return usage();
    }
    const auto pair = sig::generateKeyPair();
    if (!pair) {
        return failure("cannot generate a key pair");
    }
    if (!createExclusively(args[0], pair->privateKeyPem, 0600)) {
        return failure("cannot create " + args[0] + ": " + std::strerror(errno));
    }
    if (!createExclusively(args[1], pair->publicKeyPem, 0644)) {
        return failure("cannot create " + args[1] + ": " + std::strerror(errno));
    }
    return 0;
}

struct Options {
    std::string identifier;
    std::string key;
    std::string file;
};

std::optional<Options> parseOptions(const std::vector<std::string>& args, const std::string& keyFlag)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--identifier" && i + 1 < args.size()) {
            options.identifier = args[++i];
        } else if (args[i] == keyFlag && i + 1 < args.size()) {
            options.key = args[++i];
        } else if (options.file.empty() && !args[i].starts_with("--")) {
            options.file = args[i];
        } else {
            return std::nullopt;
        }
    }
    if (options.identifier.empty() || options.key.empty() || options.file.empty()) {
        return std::nullopt;
    }
    return options;
}

int signFile(const std::vector<std::string>& args)
{
    const auto options = parseOptions(args, "--key");
    if (!options) {
        return usage();
    }
    if (!sig::isValidIdentifier(options->identifier)) {
        return failure("identifier must be 1-255 characters of A-Z a-z 0-9 . - _");
    }
    const auto key = readText(options->key);
    const auto publicKey = key ? sig::publicKeyOf(*key) : std::nullopt;
    if (!publicKey) {
        return failure("cannot read an Ed25519 private key from " + options->key);
    }
    const auto bytes = sig::readFile(options->file, sig::kMaxSignedFileSize);
    struct stat status {};
    if (!bytes || ::stat(options->file.c_str(), &status) != 0) {
        return failure("cannot read " + options->file);
    }
    // Signing twice changes nothing, so a build can sign whatever it finds without touching
    // files that are already done.
    if (sig::verify(*bytes, options->identifier, *publicKey) == sig::VerifyStatus::Valid) {
        return 0;
    }
    const auto signedBytes = sig::sign(sig::bodyOf(*bytes), options->identifier, *key);
    if (!signedBytes) {
        return failure("signing failed");
    }
    if (!writeAtomically(options->file, *signedBytes, status.st_mode & 07777)) {
        return failure("cannot write " + options->file + ": " + std::strerror(errno));
    }
    return 0;
}

int verifyFile(const std::vector<std::string>& args)
{
    const auto options = parseOptions(args, "--pubkey");
    if (!options) {
        return usage();
    }
    const auto key = readText(options->key);
    if (!key) {
        return failure("cannot read " + options->key);
    }
    const auto bytes = sig::readFile(options->file, sig::kMaxSignedFileSize);
    if (!bytes) {
        return failure("cannot read " + options->file);
    }
    const sig::VerifyStatus status = sig::verify(*bytes, options->identifier, *key);
    if (status != sig::VerifyStatus::Valid) {
        return failure(options->file + ": " + sig::statusText(status));
    }
    std::printf("%s: %s (%s)\n", options->file.c_str(), sig::statusText(status), options->identifier.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return usage();
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "keygen") {
        return keygen(args);
    }
    if (command == "sign") {
        return signFile(args);
    }
    if (command == "verify") {
        return verifyFile(args);
    }
    return usage();
}
