#include "FRWProfileDocument.h"

#include <QStringBuilder>
#include <QVarLengthArray>

namespace FRWProfileDocument {

namespace {

QStringView withoutLineEnd(QStringView rawLine)
{
    return rawLine.endsWith(u'\r') ? rawLine.chopped(1) : rawLine;
}

// Calls `visit` with every line of `text` split at "\n", the line end's "\r" still attached.
template <typename Visit>
void forEachRawLine(QStringView text, Visit&& visit)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) {
            visit(text.sliced(start));
            return;
        }
        visit(text.sliced(start, end - start));
        start = end + 1;
    }
}

bool namesSection(QStringView trimmedHeader, QStringView wanted)
{
    return trimmedHeader.compare(trimmed(wanted), Qt::CaseInsensitive) == 0;
}

template <typename Visit>
void forEachLineInSection(QStringView text, QStringView header, Visit&& visit)
{
    bool inside = false;
    forEachRawLine(text, [&](QStringView raw) {
        const QStringView line = withoutLineEnd(raw);
        const QStringView trimmedLine = trimmed(line);
        if (isSectionHeader(trimmedLine)) {
            inside = namesSection(trimmedLine, header);
        } else if (inside) {
            visit(line);
        }
    });
}

using Fields = QVarLengthArray<QStringView, 16>;

Fields splitTrimmed(QStringView text, QChar separator)
{
    Fields fields;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(separator, start);
        if (end < 0) {
            fields.append(trimmed(text.sliced(start)));
            return fields;
        }
        fields.append(trimmed(text.sliced(start, end - start)));
        start = end + 1;
    }
}

// A trimmed proxy or group line worth reading: not blank, not a comment, and holding "=".
bool isDefinitionLine(QStringView trimmedLine)
{
    return !trimmedLine.isEmpty() && !trimmedLine.startsWith(u'#') && trimmedLine.contains(u'=');
}

struct Option {
    QString key;
    QString value;
};

Option splitOption(QStringView field, qsizetype equals)
{
    return {trimmed(field.first(equals)).toString().toLower(), trimmed(field.sliced(equals + 1)).toString()};
}

const QString kNameKey = QStringLiteral("name");
const QString kTypeKey = QStringLiteral("type");
const QString kValueKey = QStringLiteral("value");
const QString kPolicyKey = QStringLiteral("policy");
const QString kServerKey = QStringLiteral("server");
const QString kPortKey = QStringLiteral("port");
const QString kPskKey = QStringLiteral("psk");
const QString kTfoKey = QStringLiteral("tfo");
const QString kExtraKey = QStringLiteral("extra");
const QString kMembersKey = QStringLiteral("members");
const QString kOptionsKey = QStringLiteral("options");
const QString kStrategyKey = QStringLiteral("strategy");

QString stringOf(const QVariantMap& record, const QString& key, const QString& fallback = QString())
{
    const auto it = record.constFind(key);
    return it == record.constEnd() ? fallback : it->toString();
}

} // namespace

QStringView trimmed(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == u' ' || text[first] == u'\t')) {
        ++first;
    }
    while (last > first && (text[last - 1] == u' ' || text[last - 1] == u'\t')) {
        --last;
    }
    return text.sliced(first, last - first);
}

bool isSectionHeader(QStringView trimmedLine)
{
    return trimmedLine.size() >= 2 && trimmedLine.front() == u'[' && trimmedLine.back() == u']';
}

bool usesCRLF(QStringView text)
{
    const qsizetype firstBreak = text.indexOf(u'\n');
    return firstBreak > 0 && text[firstBreak - 1] == u'\r';
}

QStringList linesInSection(QStringView text, QStringView header)
{
    QStringList lines;
    forEachLineInSection(text, header, [&](QStringView line) { lines.append(line.toString()); });
    return lines;
}

QList<QVariantMap> editableNodes(QStringView text)
{
    QList<QVariantMap> records;
    forEachLineInSection(text, u"[Proxy]", [&](QStringView line) {
        const QStringView trimmedLine = trimmed(line);
        if (!isDefinitionLine(trimmedLine)) {
            return;
        }
        const qsizetype equals = trimmedLine.indexOf(u'=');
        QString server;
        QString port = QStringLiteral("443");
        QString psk;
        QString tfo = QStringLiteral("off");
        QVariantMap extra;
        const Fields fields = splitTrimmed(trimmedLine.sliced(equals + 1), u',');
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const QStringView field = fields[i];
            if (i == 1) {
                server = field.toString();
                continue;
            }
            if (i == 2) {
                port = field.toString();
                continue;
            }
            const qsizetype optionEquals = field.indexOf(u'=');
            if (optionEquals < 0) {
                continue;
            }
            Option option = splitOption(field, optionEquals);
            if (option.key == u"psk") {
                psk = std::move(option.value);
            } else if (option.key == u"tfo") {
                tfo = std::move(option.value);
            } else if (!option.key.isEmpty()) {
                extra.insert(option.key, option.value);
            }
        }
        records.append(QVariantMap{{kNameKey, trimmed(trimmedLine.first(equals)).toString()},
                                   {kServerKey, server},
                                   {kPortKey, port},
                                   {kPskKey, psk},
                                   {kTfoKey, tfo},
                                   {kExtraKey, extra}});
    });
    return records;
}

QList<QVariantMap> nodes(QStringView text)
{
    const QString& type = kTypeKey;
    const QString& name = kNameKey;
    QList<QVariantMap> entries{
        {{name, QStringLiteral("REJECT")}, {type, QStringLiteral("Builtin")}},
        {{name, QStringLiteral("DIRECT")}, {type, QStringLiteral("Builtin")}},
    };
    forEachLineInSection(text, u"[Proxy]", [&](QStringView line) {
        const QStringView trimmedLine = trimmed(line);
        if (!isDefinitionLine(trimmedLine)) {
            return;
        }
        const qsizetype equals = trimmedLine.indexOf(u'=');
        const QStringView nodeName = trimmed(trimmedLine.first(equals));
        if (nodeName.isEmpty()) {
            return;
        }
        const QStringView rest = trimmedLine.sliced(equals + 1);
        const qsizetype comma = rest.indexOf(u',');
        const QStringView protocol = trimmed(comma < 0 ? rest : rest.first(comma));
        entries.append({{name, nodeName.toString()},
                        {type, protocol.isEmpty() ? QStringLiteral("Proxy") : capitalised(protocol)}});
    });
    return entries;
}

QVariantMap nodeDetails(QStringView text, const QString& name)
{
    for (const QVariantMap& node : editableNodes(text)) {
        if (node.value(kNameKey).toString() == name) {
            return node;
        }
    }
    return {};
}

QList<QVariantMap> groups(QStringView text)
{
    QList<QVariantMap> records;
    forEachLineInSection(text, u"[Proxy Group]", [&](QStringView line) {
        const QStringView trimmedLine = trimmed(line);
        if (!isDefinitionLine(trimmedLine)) {
            return;
        }
        const qsizetype equals = trimmedLine.indexOf(u'=');
        const QStringView name = trimmed(trimmedLine.first(equals));
        if (name.isEmpty()) {
            return;
        }
        const Fields fields = splitTrimmed(trimmedLine.sliced(equals + 1), u',');
        QStringList members;
        QVariantMap options;
        for (qsizetype i = 1; i < fields.size(); ++i) {
            const qsizetype optionEquals = fields[i].indexOf(u'=');
            if (optionEquals >= 0) {
                Option option = splitOption(fields[i], optionEquals);
                options.insert(option.key, option.value);
            } else if (!fields[i].isEmpty()) {
                members.append(fields[i].toString());
            }
        }
        const QString strategy = options.value(kStrategyKey).toString();
        const QString selected = members.isEmpty() ? QString() : members.first();
        records.append(QVariantMap{{kNameKey, name.toString()},
                                   {kTypeKey, fields[0].toString()},
                                   {kMembersKey, members},
                                   {kOptionsKey, options},
                                   {kStrategyKey, strategy},
                                   {QStringLiteral("selected"), selected}});
    });
    return records;
}

QList<QVariantMap> editableGroups(QStringView text)
{
    QList<QVariantMap> editable;
    for (const QVariantMap& group : groups(text)) {
        editable.append(QVariantMap{{kNameKey, group.value(kNameKey)},
                                    {kTypeKey, group.value(kTypeKey)},
                                    {kStrategyKey, group.value(kStrategyKey)},
                                    {kOptionsKey, group.value(kOptionsKey)},
                                    {kMembersKey, group.value(kMembersKey)}});
    }
    return editable;
}

QList<QVariantMap> rules(QStringView text)
{
    QList<QVariantMap> records;
    forEachLineInSection(text, u"[Rule]", [&](QStringView line) {
        const QStringView trimmedLine = trimmed(line);
        if (trimmedLine.isEmpty() || trimmedLine.startsWith(u'#')) {
            return;
        }
        const Fields fields = splitTrimmed(trimmedLine, u',');
        const QStringView type = fields[0];
        QStringView value = fields.size() > 1 ? fields[1] : QStringView();
        QStringView policy = fields.size() > 2 ? fields[2] : QStringView();
        if (type == u"FINAL") {
            policy = value;
            value = QStringView();
        }
        records.append(QVariantMap{
            {kTypeKey, type.toString()}, {kValueKey, value.toString()}, {kPolicyKey, policy.toString()}});
    });
    return records;
}

QString replaceSection(QStringView text, QStringView header, const QStringList& lines)
{
    // Untouched lines keep their bytes, line ends included; only the lines written here take the
    // document's style (that of its first line break), so a mixed document stays as it was.
    const QStringView documentBreak = usesCRLF(text) ? QStringView(u"\r\n") : QStringView(u"\n");
    qsizetype addedSize = 0;
    for (const QString& added : lines) {
        addedSize += added.size() + 2;
    }
    QString result;
    result.reserve(text.size() + addedSize + header.size() + 8);
    // The break that ends the line last put, written only when another line follows.
    QStringView pendingBreak;
    bool first = true;
    const auto put = [&](QStringView line, QStringView lineBreak) {
        if (!first) {
            result.append(pendingBreak);
        }
        result.append(line);
        pendingBreak = lineBreak;
        first = false;
    };
    const auto putAdded = [&](QStringView line) { put(line, documentBreak); };

    bool skipping = false;
    bool replaced = false;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(u'\n', start);
        const bool last = end < 0;
        const QStringView raw = last ? text.sliced(start) : text.sliced(start, end - start);
        // The text's last line has no break of its own; one is needed only when lines follow it.
        const QStringView ownBreak = last ? documentBreak : QStringView(u"\n");
        const QStringView trimmedLine = trimmed(withoutLineEnd(raw));
        const bool isHeader = isSectionHeader(trimmedLine);
        if (isHeader && namesSection(trimmedLine, header)) {
            put(raw, ownBreak);
            for (const QString& added : lines) {
                putAdded(added);
            }
            skipping = true;
            replaced = true;
        } else if (!skipping || isHeader) {
            put(raw, ownBreak);
            skipping = false;
        }
        if (last) {
            break;
        }
        start = end + 1;
    }
    if (!replaced) {
        putAdded(QStringView());
        putAdded(header);
        for (const QString& added : lines) {
            putAdded(added);
        }
    }
    return result;
}

QStringList ruleLines(const QList<QVariantMap>& rules)
{
    QStringList lines;
    lines.reserve(rules.size());
    for (const QVariantMap& rule : rules) {
        const QString type = stringOf(rule, kTypeKey);
        const QString policy = stringOf(rule, kPolicyKey);
        if (type == u"FINAL") {
            lines.append(QStringLiteral("FINAL,") % policy);
        } else {
            lines.append(type % u',' % stringOf(rule, kValueKey) % u',' % policy);
        }
    }
    return lines;
}

QStringList proxyLines(const QList<QVariantMap>& nodes)
{
    QStringList lines;
    lines.reserve(nodes.size());
    for (const QVariantMap& node : nodes) {
        QString line = stringOf(node, kNameKey) + QStringLiteral(" = ferrow, ") + stringOf(node, kServerKey) +
                       QStringLiteral(", ") + stringOf(node, kPortKey) + QStringLiteral(", psk=") +
                       stringOf(node, kPskKey) + QStringLiteral(", tfo=") +
                       stringOf(node, kTfoKey, QStringLiteral("off"));
        const QVariantMap extra = node.value(kExtraKey).toMap();
        for (auto it = extra.cbegin(); it != extra.cend(); ++it) {
            line += QStringLiteral(", ") + it.key() + u'=' + it.value().toString();
        }
        lines.append(line);
    }
    return lines;
}

QStringList groupLines(const QList<QVariantMap>& groups)
{
    QStringList lines;
    lines.reserve(groups.size());
    for (const QVariantMap& group : groups) {
        QString type = stringOf(group, kTypeKey);
        if (type.isEmpty()) {
            type = QStringLiteral("select");
        }
        QStringList fields{type};
        fields.append(group.value(kMembersKey).toStringList());
        QVariantMap options = group.value(kOptionsKey).toMap();
        const QString strategy = stringOf(group, kStrategyKey);
        if (!strategy.isEmpty()) {
            options.insert(kStrategyKey, strategy);
        }
        for (auto it = options.cbegin(); it != options.cend(); ++it) {
            const QString value = it.value().toString();
            if (!value.isEmpty()) {
                fields.append(it.key() + u'=' + value);
            }
        }
        lines.append(stringOf(group, kNameKey) + QStringLiteral(" = ") + fields.join(QStringLiteral(", ")));
    }
    return lines;
}

QString capitalised(QStringView text)
{
    QString result;
    result.reserve(text.size());
    bool wordStart = true;
    for (const QChar c : text) {
        result.append(wordStart ? c.toUpper() : c.toLower());
        wordStart = c.isSpace();
    }
    return result;
}

QString templateConfig()
{
    return QStringLiteral(
        "# Ferrow profile, in the common INI-like proxy profile format. A profile can define many nodes;\n"
        "# switch between them on the Policy screen.\n"
        "\n"
        "[General]\n"
        "# The resolver for DIRECT traffic. Proxied domains are resolved by the\n"
        "# node, so this only ever answers domestic lookups \u2014 keep it domestic.\n"
        "dns-server = 223.5.5.5\n"
        "# How many connections and log lines to keep in memory. Oldest are\n"
        "# dropped once the cap is reached.\n"
        "connection-history = 600\n"
        "log-history = 4000\n"
        "internet-test-url = http://connectivitycheck.gstatic.com/generate_204\n"
        "proxy-test-url = http://cp.cloudflare.com/generate_204\n"
        "geoip-maxmind-url = https://github.com/Loyalsoldier/geoip/releases/latest/download/Country.mmdb\n"
        "block-quic = on\n"
        "udp-policy-not-supported-behaviour = reject\n"
        "\n"
        "[Proxy]\n"
        "# Name = ferrow, <server>, <port>, psk=<key>, tfo=off|auto|on\n"
        "HK = ferrow, hk.example.com, 443, psk=psk-goes-here, tfo=off\n"
        "JP = ferrow, jp.example.com, 443, psk=psk-goes-here, tfo=off\n"
        "\n"
        "[Proxy Group]\n"
        "Proxy = select, HK, JP\n"
        "\n"
        "[Rule]\n"
        "RULE-SET,geoip:private,DIRECT\n"
        "RULE-SET,geosite:cn,DIRECT\n"
        "RULE-SET,geoip:cn,DIRECT\n"
        "FINAL,Proxy\n");
}

} // namespace FRWProfileDocument
