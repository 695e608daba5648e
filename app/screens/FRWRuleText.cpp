#include "FRWRuleText.h"

#include <QCoreApplication>
#include <QHash>
#include <QHostAddress>

namespace {
const QString kExampleHost = QStringLiteral("www.example.com");
const QString kExampleDomain = QStringLiteral("example.com");

// Hints are looked up untranslated and translated on use, so the language in force is the one shown.
struct TypeTexts {
    QString placeholder;
    const char* hint = nullptr;
};

const QHash<QString, TypeTexts>& texts()
{
    static const QHash<QString, TypeTexts> table{
        {QStringLiteral("DOMAIN"),
         {kExampleHost,
          QT_TRANSLATE_NOOP("FRWRuleText",
                            "Matches that one host exactly. mail.example.com does not match example.com.")}},
        {QStringLiteral("DOMAIN-SUFFIX"),
         {kExampleDomain,
          QT_TRANSLATE_NOOP(
              "FRWRuleText",
              "Matches the host and everything under it: example.com also matches www.example.com.")}},
        {QStringLiteral("DOMAIN-KEYWORD"),
         {QStringLiteral("example"),
          QT_TRANSLATE_NOOP("FRWRuleText", "Matches any host containing this text anywhere in it.")}},
        {QStringLiteral("DOMAIN-WILDCARD"),
         {QStringLiteral("*.") + kExampleDomain,
          QT_TRANSLATE_NOOP("FRWRuleText", "A host pattern in which * stands for any run of characters.")}},
        {QStringLiteral("DOMAIN-REGEX"),
         {QStringLiteral("^ads?\\..*\\.com$"),
          QT_TRANSLATE_NOOP("FRWRuleText", "A regular expression matched against the host name.")}},
        {QStringLiteral("IP-CIDR"),
         {QStringLiteral("192.168.0.0/16"),
          QT_TRANSLATE_NOOP("FRWRuleText",
                            "An IPv4 address range, matched against the destination address.")}},
        {QStringLiteral("IP-CIDR6"),
         {QStringLiteral("2001:db8::/32"),
          QT_TRANSLATE_NOOP("FRWRuleText",
                            "An IPv6 address range, matched against the destination address.")}},
        {QStringLiteral("SRC-IP-CIDR"),
         {QStringLiteral("192.168.1.0/24"),
          QT_TRANSLATE_NOOP(
              "FRWRuleText",
              "An address range matched against the SOURCE \u2014 the device the traffic came from.")}},
        {QStringLiteral("GEOIP"),
         {QStringLiteral("CN"),
          QT_TRANSLATE_NOOP(
              "FRWRuleText",
              "A two-letter country code, matched against the country of the destination IP.")}},
        {QStringLiteral("DEST-PORT"),
         {QString::fromUtf8(QT_TRANSLATE_NOOP("FRWRuleText", "443   or   8000-8100")),
          QT_TRANSLATE_NOOP("FRWRuleText",
                            "The port being connected to: one port, or a range such as 8000-8100.")}},
        {QStringLiteral("SRC-PORT"),
         {QStringLiteral("5353"),
          QT_TRANSLATE_NOOP("FRWRuleText", "The port the connection came from: one port, or a range.")}},
        {QStringLiteral("PROTOCOL"),
         {QStringLiteral("tcp"), QT_TRANSLATE_NOOP("FRWRuleText", "tcp or udp.")}},
        {QStringLiteral("PROCESS-NAME"),
         {QStringLiteral("Telegram"),
          QT_TRANSLATE_NOOP(
              "FRWRuleText",
              "The name of the program making the connection, as shown on the Process screen.")}},
        {QStringLiteral("PROCESS-PATH"),
         {QStringLiteral("/usr/bin/firefox"),
          QT_TRANSLATE_NOOP("FRWRuleText", "The full path to the program making the connection.")}},
        {QStringLiteral("RULE-SET"),
         {QStringLiteral("geosite-cn"),
          QT_TRANSLATE_NOOP("FRWRuleText",
                            "The name of a bundled rule set, or the URL of one to download.")}},
        {QStringLiteral("FINAL"),
         {QString::fromUtf8(QT_TRANSLATE_NOOP("FRWRuleText", "no value needed")),
          QT_TRANSLATE_NOOP(
              "FRWRuleText",
              "Matches everything no rule above it matched, so it belongs last and takes no value.")}},
    };
    return table;
}

bool isDecimal(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool isPortOrRange(const QString& value)
{
    const QStringList parts = value.split(u'-');
    if (parts.size() > 2) {
        return false;
    }
    QList<int> ports;
    for (const QString& part : parts) {
        const QString trimmed = part.trimmed();
        if (trimmed.size() > 5 || !isDecimal(trimmed) || trimmed.toInt() > 65535) {
            return false;
        }
        ports << trimmed.toInt();
    }
    return ports.size() == 1 || ports[0] <= ports[1];
}

bool isAddressRange(const QString& value)
{
    const QStringList parts = value.split(u'/');
    if (parts.size() > 2) {
        return false;
    }
    QHostAddress address;
    // QHostAddress also takes scope suffixes and odd IPv4 forms; only the standard forms pass.
    if (parts[0].contains(u'%') || !address.setAddress(parts[0])) {
        return false;
    }
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    if (v4 && parts[0].count(u'.') != 3) {
        return false;
    }
    if (parts.size() == 1) {
        return true;
    }
    const QString& prefix = parts[1];
    return prefix.size() <= 3 && isDecimal(prefix) && prefix.toInt() <= (v4 ? 32 : 128);
}
} // namespace

namespace FRWRuleText {

const QList<QStringList>& ruleTypeGroups()
{
    static const QList<QStringList> groups{
        {QStringLiteral("DOMAIN"), QStringLiteral("DOMAIN-SUFFIX"), QStringLiteral("DOMAIN-KEYWORD"),
         QStringLiteral("DOMAIN-WILDCARD"), QStringLiteral("DOMAIN-REGEX")},
        {QStringLiteral("IP-CIDR"), QStringLiteral("IP-CIDR6"), QStringLiteral("SRC-IP-CIDR"),
         QStringLiteral("GEOIP")},
        {QStringLiteral("DEST-PORT"), QStringLiteral("SRC-PORT"), QStringLiteral("PROTOCOL")},
        {QStringLiteral("PROCESS-NAME"), QStringLiteral("PROCESS-PATH")},
        {QStringLiteral("RULE-SET")},
        {QStringLiteral("FINAL")},
    };
    return groups;
}

QString placeholderForRuleType(const QString& type)
{
    const QString placeholder = texts().value(type, {kExampleDomain, nullptr}).placeholder;
    // Two placeholders are words rather than examples.
    if (type == u"DEST-PORT" || type == u"FINAL") {
        return QCoreApplication::translate("FRWRuleText", placeholder.toUtf8().constData());
    }
    return placeholder;
}

QString hintForRuleType(const QString& type)
{
    const char* hint = texts().value(type).hint;
    return hint ? QCoreApplication::translate("FRWRuleText", hint) : QString();
}

bool isWellFormedValue(const QString& value, const QString& type)
{
    if (type == u"DEST-PORT" || type == u"SRC-PORT") {
        return isPortOrRange(value);
    }
    if (type == u"IP-CIDR" || type == u"IP-CIDR6" || type == u"SRC-IP-CIDR") {
        return isAddressRange(value);
    }
    if (type == u"PROTOCOL") {
        return value.compare(u"tcp", Qt::CaseInsensitive) == 0 ||
               value.compare(u"udp", Qt::CaseInsensitive) == 0;
    }
    return !value.isEmpty();
}

QString explanationForType(const QString& type, const QString& value, const QString& policy)
{
    QString action;
    if (policy == u"DIRECT") {
        action = QCoreApplication::translate("FRWRuleText", "connect directly, without going through a node");
    } else if (policy == u"REJECT") {
        action = QCoreApplication::translate("FRWRuleText", "be blocked");
    } else {
        action = QCoreApplication::translate("FRWRuleText", "be sent through \"%1\"").arg(policy);
    }
    const QString& v = value;
    const QString& a = action;
    QString body;
    if (type == u"DOMAIN") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to exactly %1 will %2.\n\nOnly that one host matches. Anything under it "
                   "\u2014 a sub-domain such as www.%1 \u2014 does not, and needs its own rule.")
                   .arg(v, a);
    } else if (type == u"DOMAIN-SUFFIX") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to %1, and to every host under it, will %2.\n\nThat includes ones you have "
                   "not listed: www.%1, api.%1, and any other sub-domain added in future.")
                   .arg(v, a);
    } else if (type == u"DOMAIN-KEYWORD") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to any host whose name contains \"%1\" anywhere in it will %2.\n\n"
                   "This is the widest of the domain rules and the easiest to underestimate: it matches on "
                   "the text alone, so a host like %1-cdn.example.net, belonging to somebody else entirely, "
                   "matches too.")
                   .arg(v, a);
    } else if (type == u"DOMAIN-WILDCARD") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to any host matching the pattern %1 will %2.\n\n* stands for any run of "
                   "characters, so the pattern can reach further than the example it was written from.")
                   .arg(v, a);
    } else if (type == u"DOMAIN-REGEX") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to any host matching the expression %1 will %2.\n\nAn expression that "
                   "matches more than intended is easy to write and hard to spot afterwards \u2014 an "
                   "unanchored pattern matches anywhere in the name.")
                   .arg(v, a);
    } else if (type == u"IP-CIDR" || type == u"IP-CIDR6") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections to any address in the range %1 will %2.\n\nThis is matched on the "
                   "destination address, so it applies no matter what host name was used to reach it.")
                   .arg(v, a);
    } else if (type == u"SRC-IP-CIDR") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections coming FROM any address in %1 will %2.\n\nThis matches the source, not the "
                   "destination \u2014 it is for routing other devices on your network, and does not affect "
                   "this computer's own traffic.")
                   .arg(v, a);
    } else if (type == u"DEST-PORT") {
        body =
            QCoreApplication::translate(
                "FRWRuleText",
                "Connections to port %1 \u2014 on any host at all \u2014 will %2.\n\nThis matches the port "
                "alone, so it applies to every destination. A rule on 443 covers essentially all HTTPS "
                "traffic.")
                .arg(v, a);
    } else if (type == u"SRC-PORT") {
        body =
            QCoreApplication::translate(
                "FRWRuleText",
                "Connections coming from port %1 will %2.\n\nSource ports are normally picked at random by "
                "the system, so this is really only useful for a service that binds a fixed one.")
                .arg(v, a);
    } else if (type == u"PROTOCOL") {
        body = QCoreApplication::translate("FRWRuleText",
                                           "Every %1 connection will %2, whatever its destination.")
                   .arg(v.toUpper(), a);
    } else if (type == u"PROCESS-NAME") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections made by %1 will %2.\n\nMatched on the program's name alone, so any program "
                   "called %1 matches, wherever on disk it is.")
                   .arg(v, a);
    } else if (type == u"PROCESS-PATH") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections made by the program at %1 will %2.\n\nMatched on the whole path, so another "
                   "copy of the same app elsewhere will not match.")
                   .arg(v, a);
    } else if (type == u"GEOIP") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Connections whose destination address is in %1 will %2.\n\nThe country comes from a "
                   "lookup of the IP address, so it follows where the server is, not where the site is "
                   "from.")
                   .arg(v, a);
    } else if (type == u"RULE-SET") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Everything in the rule set \"%1\" will %2.\n\nWhat that covers is decided by the "
                   "set's contents, which can be thousands of entries and can change when the set is "
                   "updated.")
                   .arg(v, a);
    } else if (type == u"FINAL") {
        body = QCoreApplication::translate(
                   "FRWRuleText",
                   "Anything that no rule above it matched will %1.\n\nThis is the catch-all, so it only "
                   "makes sense as the last rule in the list.")
                   .arg(a);
    } else {
        body = QCoreApplication::translate("FRWRuleText", "%1 %2 will %3.").arg(type, v, a);
    }
    return body + QCoreApplication::translate(
                      "FRWRuleText",
                      "\n\nRules are matched top to bottom, and the first match wins \u2014 so a broader "
                      "rule above this one will decide first.");
}

} // namespace FRWRuleText
