#include "FRWGVariantText.h"

namespace FRWGVariantText {

namespace {

// Reads one quoted string starting at `pos`; leaves `pos` after the closing quote.
std::optional<QString> readQuoted(QStringView text, qsizetype& pos)
{
    if (pos >= text.size() || (text[pos] != u'\'' && text[pos] != u'"')) {
        return std::nullopt;
    }
    const QChar quote = text[pos++];
    QString value;
    while (pos < text.size()) {
        const QChar c = text[pos++];
        if (c == quote) {
            return value;
        }
        if (c != u'\\') {
            value.append(c);
            continue;
        }
        if (pos >= text.size()) {
            return std::nullopt;
        }
        const QChar escaped = text[pos++];
        switch (escaped.unicode()) {
        case 'n':
            value.append(u'\n');
            break;
        case 't':
            value.append(u'\t');
            break;
        case 'r':
            value.append(u'\r');
            break;
        case 'a':
            value.append(u'\a');
            break;
        case 'b':
            value.append(u'\b');
            break;
        case 'f':
            value.append(u'\f');
            break;
        case 'v':
            value.append(u'\v');
            break;
        case 'u':
        case 'U': {
            const int digits = escaped == u'u' ? 4 : 8;
            bool ok = false;
            const uint code =
                text.sliced(pos, std::min<qsizetype>(digits, text.size() - pos)).toUInt(&ok, 16);
            if (!ok || pos + digits > text.size()) {
                return std::nullopt;
            }
            const char32_t point = code;
            value.append(QString::fromUcs4(&point, 1));
            pos += digits;
            break;
        }
        default:
            value.append(escaped);
            break;
        }
    }
    return std::nullopt;
}

QStringView withoutTypePrefix(QStringView text, QStringView prefix)
{
    text = text.trimmed();
    return text.startsWith(prefix) ? text.sliced(prefix.size()).trimmed() : text;
}

} // namespace

std::optional<QString> parseString(const QString& text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    qsizetype pos = 0;
    std::optional<QString> value = readQuoted(trimmed, pos);
    return value && pos == trimmed.size() ? value : std::nullopt;
}

std::optional<QStringList> parseStringArray(const QString& text)
{
    const QStringView body = withoutTypePrefix(text, u"@as");
    if (!body.startsWith(u'[') || !body.endsWith(u']')) {
        return std::nullopt;
    }
    QStringList values;
    qsizetype pos = 1;
    const auto skipSpaces = [&] {
        while (pos < body.size() && body[pos] == u' ') {
            ++pos;
        }
    };
    skipSpaces();
    if (body[pos] == u']') {
        return pos == body.size() - 1 ? std::optional(values) : std::nullopt;
    }
    for (;;) {
        std::optional<QString> value = readQuoted(body, pos);
        if (!value) {
            return std::nullopt;
        }
        values.append(*value);
        skipSpaces();
        if (pos < body.size() && body[pos] == u',') {
            ++pos;
            skipSpaces();
            continue;
        }
        return pos == body.size() - 1 && body[pos] == u']' ? std::optional(values) : std::nullopt;
    }
}

std::optional<int> parseInt(const QString& text)
{
    bool ok = false;
    const int value = withoutTypePrefix(text, u"int32").toInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<bool> parseBool(const QString& text)
{
    const QStringView value = QStringView(text).trimmed();
    if (value == u"true") {
        return true;
    }
    if (value == u"false") {
        return false;
    }
    return std::nullopt;
}

QString quoted(const QString& value)
{
    QString result = QStringLiteral("'");
    for (const QChar c : value) {
        if (c == u'\'' || c == u'\\') {
            result.append(u'\\');
        }
        result.append(c);
    }
    result.append(u'\'');
    return result;
}

QString stringArray(const QStringList& values)
{
    if (values.isEmpty()) {
        return QStringLiteral("@as []");
    }
    QStringList items;
    for (const QString& value : values) {
        items.append(quoted(value));
    }
    return u'[' + items.join(QStringLiteral(", ")) + u']';
}

} // namespace FRWGVariantText
