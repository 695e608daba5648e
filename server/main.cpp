// ferrow-server: the server end of the Ferrow protocol.
#include <csignal>
#include <iostream>

#include "FRWProgramInfo.h"
#include "FerrowKeys.h"
#include "FerrowServer.h"
#include "ServerOptions.h"

int main(int argc, char** argv)
{
    using namespace ferrow::server;
    if (const auto status = ferrow::answerInformationalOption(argc, argv, "ferrow-server", helpText())) {
        return *status;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseServerOptions(arguments);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "ferrow-server: " << *error << (error->ends_with('\n') ? "" : "\n");
        return 2;
    }
    auto options = std::get<ServerOptions>(std::move(parsed));
    auto psk = readPskFile(options.pskFile);
    if (psk.index() == 1) {
        std::cerr << "ferrow-server: " << std::get<1>(psk) << "\n";
        return 2;
    }
    if (const auto warning = ferrow::proto::weakKeyWarning(std::get<0>(psk)); !warning.empty()) {
        std::cerr << ("ferrow-server warning: " + options.pskFile + ": " + warning +
                      "; make one with: head -c 32 /dev/urandom | base64 | tr '+/' '-_' | tr -d '='\n");
    }
    std::signal(SIGPIPE, SIG_IGN);

    FerrowServer server(options, std::get<0>(std::move(psk)));
    if (const auto error = server.listen(); !error.empty()) {
        std::cerr << "ferrow-server: " << error << "\n";
        return 1;
    }
    const auto endpoint = server.localEndpoint();
    // One write, so that whoever waits for this line never reads half of it.
    std::cerr << ("ferrow-server info: listening on [" + endpoint.address().to_string() +
                  "]:" + std::to_string(endpoint.port()) + "\n")
              << std::flush;
    server.run();
    return 0;
}
