#include "FRWNetworksetupBackend.h"

#include <QMap>

#include "FRWToolRunner.h"

namespace {

struct KindCommands {
    const char* query;
    const char* set;
    const char* state;
};

KindCommands commandsFor(FRWProxyKind kind)
{
    switch (kind) {
    case FRWProxyKind::Web:
        return {"-getwebproxy", "-setwebproxy", "-setwebproxystate"};
    case FRWProxyKind::Secure:
        return {"-getsecurewebproxy", "-setsecurewebproxy", "-setsecurewebproxystate"};
    case FRWProxyKind::Socks:
        break;
    }
    return {"-getsocksfirewallproxy", "-setsocksfirewallproxy", "-setsocksfirewallproxystate"};
}

} // namespace

FRWNetworksetupBackend::FRWNetworksetupBackend(FRWToolRunner& runner, QString networksetupPath,
                                               QString routePath)
    : m_runner(runner), m_networksetup(std::move(networksetupPath)), m_route(std::move(routePath))
{
}

QString FRWNetworksetupBackend::primaryNetworkService()
{
    QString interface;
    const QString route =
        m_runner.run(m_route, {QStringLiteral("-n"), QStringLiteral("get"), QStringLiteral("default")})
            .output;
    for (const QString& rawLine : route.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1String("interface:"))) {
            interface = line.section(u':', -1).trimmed();
            break;
        }
    }
    if (interface.isEmpty()) {
        return {};
    }

    const QString order = m_runner.run(m_networksetup, {QStringLiteral("-listnetworkserviceorder")}).output;
    const QString device = QStringLiteral("Device: ") + interface + u')';
    QString current;
    for (const QString& rawLine : order.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(u'(') && !line.contains(QLatin1String("Hardware Port"))) {
            const qsizetype close = line.indexOf(QLatin1String(") "));
            if (close >= 0) {
                current = line.sliced(close + 2);
            }
        } else if (line.contains(device)) {
            return current;
        }
    }
    return {};
}

FRWProxyKindSettings FRWNetworksetupBackend::parseSettings(const QString& output)
{
    QMap<QString, QString> fields;
    for (const QString& line : output.split(u'\n')) {
        const qsizetype separator = line.indexOf(QLatin1String(": "));
        if (separator >= 0) {
            fields.insert(line.first(separator), line.sliced(separator + 2).trimmed());
        }
    }
    const QString authenticated = fields.value(QStringLiteral("Authenticated Proxy Enabled"));
    return FRWProxyKindSettings{fields.value(QStringLiteral("Enabled")) == u"Yes",
                                fields.value(QStringLiteral("Server")), fields.value(QStringLiteral("Port")),
                                !authenticated.isEmpty() && authenticated != u"0"};
}

std::optional<FRWProxyKindSettings> FRWNetworksetupBackend::queryProxy(FRWProxyKind kind,
                                                                       const QString& service)
{
    const FRWToolResult result =
        m_runner.run(m_networksetup, {QLatin1String(commandsFor(kind).query), service});
    if (result.status != 0) {
        return std::nullopt;
    }
    return parseSettings(result.output);
}

bool FRWNetworksetupBackend::setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                                      const QString& port)
{
    return networksetup({QLatin1String(commandsFor(kind).set), service, server, port});
}

bool FRWNetworksetupBackend::setProxyState(FRWProxyKind kind, const QString& service, bool enabled)
{
    return networksetup({QLatin1String(commandsFor(kind).state), service,
                         enabled ? QStringLiteral("on") : QStringLiteral("off")});
}

QString FRWNetworksetupBackend::queryBypassDomains(const QString& service)
{
    return m_runner.run(m_networksetup, {QStringLiteral("-getproxybypassdomains"), service}).output;
}

bool FRWNetworksetupBackend::setBypassDomains(const QString& service, const QStringList& domains)
{
    // networksetup clears the list when given the single word "Empty".
    QStringList arguments{QStringLiteral("-setproxybypassdomains"), service};
    arguments += domains.isEmpty() ? QStringList{QStringLiteral("Empty")} : domains;
    return networksetup(arguments);
}

bool FRWNetworksetupBackend::networksetup(const QStringList& arguments)
{
    const int status = m_runner.run(m_networksetup, arguments).status;
    if (status != 0) {
        qWarning("Ferrow: networksetup %s failed (%d)", qPrintable(arguments.value(0)), status);
        return false;
    }
    return true;
}
