#include "FRWProfileValidation.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <optional>
#include <regex>
#include <string>

#include <QCoreApplication>

#include "FRWKeyStrength.h"

namespace {

const QString kQuote = QStringLiteral("\u201c%1\u201d");

// Breaks that no field can carry: the document is read line by line, the core refuses a NUL, and
// the Profile editor turns a carriage return into a line break.
QString lineBreakProblem(const QString& value, const QString& what)
{
    for (const QChar c : value) {
        if (c == u'\n' || c == u'\r' || c == QChar(0)) {
            return QCoreApplication::translate("FRWProfileValidation",
                                               "%1 cannot contain a line break or a NUL character.")
                .arg(what);
        }
    }
    // Saved as UTF-8, half of a surrogate pair would come back as U+FFFD.
    if (!QStringView(value).isValidUtf16()) {
        return QCoreApplication::translate("FRWProfileValidation",
                                           "%1 contains a character that is not valid text.")
            .arg(what);
    }
    return {};
}

// Readers trim spaces and tabs at both ends of every field.
bool hasOuterSpace(const QString& value)
{
    const auto space = [](QChar c) { return c == u' ' || c == u'\t'; };
    return !value.isEmpty() && (space(value.front()) || space(value.back()));
}

QString fieldProblem(const QString& value, const QString& what)
{
    if (QString problem = lineBreakProblem(value, what); !problem.isEmpty()) {
        return problem;
    }
    if (value.contains(u',')) {
        return QCoreApplication::translate("FRWProfileValidation", "%1 cannot contain a comma.").arg(what);
    }
    if (hasOuterSpace(value)) {
        return QCoreApplication::translate("FRWProfileValidation", "%1 cannot begin or end with a space.")
            .arg(what);
    }
    return {};
}

// Names stand first on their line and in group member lists.
QString policyNameProblem(const QString& name, const QStringList& takenNodes, const QStringList& takenGroups)
{
    if (name.isEmpty()) {
        return QCoreApplication::translate("FRWProfileValidation", "Enter a name.");
    }
    if (QString problem = fieldProblem(name, QCoreApplication::translate("FRWProfileValidation", "A name"));
        !problem.isEmpty()) {
        return problem;
    }
    if (name.contains(u'=')) {
        return QCoreApplication::translate("FRWProfileValidation", "A name cannot contain \u201c=\u201d.");
    }
    if (name.startsWith(u'#')) {
        return QCoreApplication::translate(
            "FRWProfileValidation", "A name cannot begin with \u201c#\u201d: the line would be a comment.");
    }
    if (name.startsWith(u'[')) {
        return QCoreApplication::translate(
            "FRWProfileValidation",
            "A name cannot begin with \u201c[\u201d: the line could read as a section.");
    }
    if (name == u"DIRECT" || name == u"REJECT") {
        return QCoreApplication::translate("FRWProfileValidation", "%1 is a built-in policy.")
            .arg(kQuote.arg(name));
    }
    if (takenNodes.contains(name)) {
        return QCoreApplication::translate("FRWProfileValidation", "A node named %1 already exists.")
            .arg(kQuote.arg(name));
    }
    if (takenGroups.contains(name)) {
        return QCoreApplication::translate("FRWProfileValidation", "A policy group named %1 already exists.")
            .arg(kQuote.arg(name));
    }
    return {};
}

// The core's reading of an address: what inet_pton takes, at most 63 characters.
bool isAddress(const std::string& text)
{
    unsigned char bytes[16];
    return !text.empty() && text.size() <= 63 &&
           (inet_pton(AF_INET, text.c_str(), bytes) == 1 || inet_pton(AF_INET6, text.c_str(), bytes) == 1);
}

bool isV6Address(const std::string& text)
{
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) {
        return false;
    }
    // A v4-mapped address counts as IPv4, as the core reads it.
    static constexpr unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return !std::equal(mapped, mapped + 12, bytes);
}

std::optional<int> smallNumber(QStringView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QStringView trimmedView(QStringView text)
{
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t')) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.chop(1);
    }
    return text;
}

bool isAddressRange(QStringView value)
{
    const qsizetype slash = value.indexOf(u'/');
    const std::string address = (slash < 0 ? value : value.first(slash)).toString().toStdString();
    if (!isAddress(address)) {
        return false;
    }
    if (slash < 0) {
        return true;
    }
    const auto prefix = smallNumber(value.sliced(slash + 1), 3);
    return prefix && *prefix <= (isV6Address(address) ? 128 : 32);
}

bool isPortRange(QStringView value)
{
    const qsizetype dash = value.indexOf(u'-');
    const auto first = smallNumber(trimmedView(dash < 0 ? value : value.first(dash)), 5);
    if (!first || *first > 65535) {
        return false;
    }
    if (dash < 0) {
        return true;
    }
    const auto last = smallNumber(trimmedView(value.sliced(dash + 1)), 5);
    return last && *last <= 65535 && *last >= *first;
}

// The core's domain form: lower case, without a leading "+." or ".", without trailing dots.
bool hasDomain(const QString& value)
{
    QStringView domain = value;
    if (domain.startsWith(QLatin1String("+."))) {
        domain = domain.sliced(2);
    } else if (domain.startsWith(u'.')) {
        domain = domain.sliced(1);
    }
    while (domain.endsWith(u'.')) {
        domain.chop(1);
    }
    return !domain.isEmpty();
}

bool compilesAsRegex(const QString& value)
{
    try {
        const std::regex compiled(value.toStdString(),
                                  std::regex::ECMAScript | std::regex::icase | std::regex::optimize);
        return true;
    } catch (const std::regex_error&) {
        return false;
    }
}

} // namespace

namespace FRWProfileValidation {

QString nodeNameProblem(const QString& name, const QStringList& takenNodes, const QStringList& takenGroups)
{
    return policyNameProblem(name, takenNodes, takenGroups);
}

QString groupNameProblem(const QString& name, const QStringList& takenNodes, const QStringList& takenGroups)
{
    return policyNameProblem(name, takenNodes, takenGroups);
}

QString serverProblem(const QString& server)
{
    if (server.isEmpty()) {
        return QCoreApplication::translate("FRWProfileValidation", "Enter a server.");
    }
    return fieldProblem(server, QCoreApplication::translate("FRWProfileValidation", "A server"));
}

QString keyProblem(const QString& key)
{
    return fieldProblem(key, QCoreApplication::translate("FRWProfileValidation", "The key"));
}

double estimatedKeyBits(const QString& key)
{
    // The same estimate ferrow-server logs its warning by.
    return ferrow::estimatedKeyBits(key.toUtf8().toStdString());
}

QString keyWarning(const QString& key)
{
    if (estimatedKeyBits(key) >= kGeneratedKeyBits) {
        return {};
    }
    return QCoreApplication::translate(
        "FRWProfileValidation", "This key looks typed rather than generated: it could be guessed from one "
                                "recorded connection. Use the key the server installer printed.");
}

QString ruleValueProblem(const QString& type, const QString& value)
{
    if (type == u"FINAL") {
        return {};
    }
    if (value.isEmpty()) {
        return QCoreApplication::translate("FRWProfileValidation", "Enter a value.");
    }
    if (QString problem =
            fieldProblem(value, QCoreApplication::translate("FRWProfileValidation", "A rule's value"));
        !problem.isEmpty()) {
        return problem;
    }
    if ((type == u"DOMAIN" || type == u"DOMAIN-SUFFIX") && !hasDomain(value)) {
        return QCoreApplication::translate("FRWProfileValidation", "Enter a domain name.");
    }
    if (type == u"DOMAIN-REGEX" && !compilesAsRegex(value)) {
        return QCoreApplication::translate("FRWProfileValidation",
                                           "This is not a regular expression the core can use.");
    }
    if ((type == u"IP-CIDR" || type == u"IP-CIDR6" || type == u"SRC-IP-CIDR") && !isAddressRange(value)) {
        return QCoreApplication::translate("FRWProfileValidation",
                                           "Enter an address or an address range such as 10.0.0.0/8.");
    }
    if ((type == u"DEST-PORT" || type == u"SRC-PORT") && !isPortRange(value)) {
        return QCoreApplication::translate("FRWProfileValidation",
                                           "Enter a port or a range such as 8000-8100.");
    }
    if (type == u"PROTOCOL" && value.toLower() != u"tcp" && value.toLower() != u"udp") {
        return QCoreApplication::translate("FRWProfileValidation", "Enter tcp or udp.");
    }
    return {};
}

} // namespace FRWProfileValidation
