#include "FRWShareLink.h"

#include <algorithm>

#include <QByteArray>

#include "FRWUtf8.h"

namespace FRWShareLink {

namespace {

constexpr QStringView kScheme = u"ferrow://";

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9') {
        return c.unicode() - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c.unicode() - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c.unicode() - u'A' + 10;
    }
    return -1;
}

bool isBase64Character(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' ||
           c == u'/';
}

// Standard base64 after the base64url letters were mapped; padding only at the end, and only to
// make the length a multiple of four.
std::optional<QString> decodedKey(QStringView urlSafe)
{
    QString key = urlSafe.toString();
    key.replace(u'-', u'+').replace(u'_', u'/');
    while (key.size() % 4 != 0) {
        key.append(u'=');
    }
    qsizetype dataLength = key.size();
    while (dataLength > 0 && key[dataLength - 1] == u'=') {
        --dataLength;
    }
    if (key.size() - dataLength > 2 || key.size() % 4 != 0) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < dataLength; ++i) {
        if (!isBase64Character(key[i])) {
            return std::nullopt;
        }
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(key.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    std::optional<QString> text = FRWUtf8::decode(*decoded);
    if (!text || text->isEmpty()) {
        return std::nullopt;
    }
    return text;
}

std::optional<int> portNumber(QStringView text)
{
    if (text.isEmpty()) {
        return std::nullopt;
    }
    // Leading zeros are allowed ("000080" is port 80); the value is capped while reading so that a
    // long run of digits cannot overflow.
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = std::min(value * 10 + (c.unicode() - u'0'), 65536);
    }
    if (value < 1 || value > 65535) {
        return std::nullopt;
    }
    return value;
}

// Everything outside the unreserved set is escaped, so a name survives any text field or QR reader.
QString percentEncoded(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

bool hostFitsLink(const QString& host)
{
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'?' || c == u'#' || c == u'@' || c == u'[' || c == u']' ||
            c == u'%') {
            return false;
        }
    }
    return !host.isEmpty();
}

} // namespace

std::optional<QString> link(const QVariantMap& node)
{
    const QString psk = node.value(QStringLiteral("psk")).toString();
    const QString host = node.value(QStringLiteral("server")).toString();
    const std::optional<int> port = portNumber(node.value(QStringLiteral("port")).toString());
    if (psk.isEmpty() || !port || !hostFitsLink(host)) {
        return std::nullopt;
    }
    const QByteArray key =
        psk.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    QString text = kScheme.toString() + QString::fromLatin1(key) + u'@';
    text += host.contains(u':') ? u'[' + host + u']' : host;
    text += u':' + QString::number(*port);
    const QString tfo = node.value(QStringLiteral("tfo")).toString().toLower();
    if (tfo == u"on" || tfo == u"auto" || tfo == u"off") {
        text += QStringLiteral("?tfo=") + tfo;
    }
    const QString name = node.value(QStringLiteral("name")).toString();
    if (!name.isEmpty()) {
        text += u'#' + percentEncoded(name);
    }
    return text;
}

std::optional<QString> percentDecoded(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype plainStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            continue;
        }
        bytes.append(text.sliced(plainStart, i - plainStart).toUtf8());
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
        plainStart = i + 1;
    }
    bytes.append(text.sliced(plainStart).toUtf8());
    return FRWUtf8::decode(bytes);
}

std::optional<QVariantMap> parse(const QString& text)
{
    const QString link = text.trimmed();
    if (!link.startsWith(kScheme, Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    QStringView rest = QStringView(link).sliced(kScheme.size());
    if (rest.isEmpty()) {
        return std::nullopt;
    }

    QString name;
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0) {
        name = percentDecoded(rest.sliced(hash + 1)).value_or(QString());
        rest = rest.first(hash);
    }

    QString tfo;
    if (const qsizetype question = rest.indexOf(u'?'); question >= 0) {
        const QStringView query = rest.sliced(question + 1);
        rest = rest.first(question);
        for (const QStringView item : query.split(u'&')) {
            const qsizetype equals = item.indexOf(u'=');
            if (equals >= 0 && item.first(equals).toString().toLower() == u"tfo") {
                tfo = item.sliced(equals + 1).toString().toLower();
            }
        }
    }

    const qsizetype at = rest.lastIndexOf(u'@');
    if (at <= 0 || at == rest.size() - 1) {
        return std::nullopt;
    }
    const std::optional<QString> psk = decodedKey(rest.first(at));
    if (!psk) {
        return std::nullopt;
    }

    const QStringView hostPort = rest.sliced(at + 1);
    QStringView host;
    QStringView portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0) {
            return std::nullopt;
        }
        host = hostPort.sliced(1, close - 1);
        const QStringView after = hostPort.sliced(close + 1);
        if (after.startsWith(u':')) {
            portText = after.sliced(1);
        }
    } else if (const qsizetype colon = hostPort.lastIndexOf(u':'); colon >= 0) {
        host = hostPort.first(colon);
        portText = hostPort.sliced(colon + 1);
    } else {
        host = hostPort;
    }
    if (host.isEmpty()) {
        return std::nullopt;
    }

    int port = 443;
    if (!portText.isEmpty()) {
        const std::optional<int> parsed = portNumber(portText);
        if (!parsed) {
            return std::nullopt;
        }
        port = *parsed;
    }

    QVariantMap node{{QStringLiteral("name"), name.isEmpty() ? host.toString() : name},
                     {QStringLiteral("server"), host.toString()},
                     {QStringLiteral("port"), QString::number(port)},
                     {QStringLiteral("psk"), *psk}};
    if (tfo == u"on" || tfo == u"auto" || tfo == u"off") {
        node.insert(QStringLiteral("tfo"), tfo);
    }
    return node;
}

} // namespace FRWShareLink
