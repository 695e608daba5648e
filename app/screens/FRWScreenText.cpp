#include "FRWScreenText.h"

#include <cmath>
#include <limits>

#include <QCoreApplication>
#include <QGlyphRun>
#include <QHash>
#include <QJsonValue>
#include <QTextLayout>

QString FRWScreenText::noValue()
{
    return QStringLiteral("\u2014");
}

QString FRWScreenText::orQuestionMark(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("?") : text;
}

QString FRWScreenText::outboundDisplay(const QString& mode, const QString& globalNode)
{
    if (mode == QLatin1String("direct")) {
        return QCoreApplication::translate("FRWScreenText", "Direct");
    }
    if (mode == QLatin1String("global")) {
        return QCoreApplication::translate("FRWScreenText", "Global: %1")
            .arg(globalNode.isEmpty() ? noValue() : globalNode);
    }
    return QCoreApplication::translate("FRWScreenText", "Rule-Based Proxy");
}

QString FRWScreenText::flagFor(const QString& countryCode)
{
    const QString code = countryCode.toUpper();
    if (code.size() != 2) {
        return {};
    }
    QString flag;
    for (const QChar letter : code) {
        if (letter < QLatin1Char('A') || letter > QLatin1Char('Z')) {
            return {};
        }
        // Regional indicator symbols start at U+1F1E6 for A.
        const char32_t symbol = 0x1F1E6 + (letter.unicode() - u'A');
        flag += QString::fromUcs4(&symbol, 1);
    }
    return flag;
}

bool FRWScreenText::drawsFlag(const QString& flag, const QFont& font)
{
    if (flag.isEmpty()) {
        return false;
    }
    static QHash<QString, bool> known;
    const QString key = font.key() + QLatin1Char('|') + flag;
    if (const auto found = known.constFind(key); found != known.constEnd()) {
        return *found;
    }
    // Shape it as a label would, fallback fonts included: a real flag comes out as one glyph;
    // glyph 0 is the empty box, two glyphs are the two letters drawn apart.
    QTextLayout layout(flag, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int glyphs = 0;
    bool missing = false;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) {
            ++glyphs;
            missing = missing || glyph == 0;
        }
    }
    const bool draws = glyphs == 1 && !missing;
    known.insert(key, draws);
    return draws;
}

QString FRWScreenText::externalIPText(const QString& countryCode, const QString& address)
{
    const QString flag = flagFor(countryCode);
    return flag.isEmpty() ? address : flag + QLatin1Char(' ') + address;
}

QString FRWScreenText::asnText(const QString& asn)
{
    const qsizetype separator = asn.indexOf(QLatin1String("  "));
    if (separator < 0) {
        return asn;
    }
    QString text = asn;
    return text.replace(separator, 2, QStringLiteral(" \u00B7 "));
}

QString FRWScreenText::withMilliseconds(const QString& latency)
{
    return latency == noValue() ? latency : latency + QStringLiteral(" ms");
}

QString FRWScreenText::connectionBytes(qint64 bytes)
{
    if (bytes <= 1023) {
        return QStringLiteral("%1 B").arg(bytes);
    }
    const double kilo = static_cast<double>(bytes) / 1024.0;
    if (kilo < 1024) {
        return QStringLiteral("%1 KB").arg(kilo, 0, 'f', 1);
    }
    const double mega = kilo / 1024.0;
    if (mega < 1024) {
        return QStringLiteral("%1 MB").arg(mega, 0, 'f', 1);
    }
    return QStringLiteral("%1 GB").arg(mega / 1024.0, 0, 'f', 2);
}

QString FRWScreenText::ageText(qint64 ageMilliseconds)
{
    if (ageMilliseconds < 1000) {
        return QCoreApplication::translate("FRWScreenText", "just now");
    }
    if (ageMilliseconds < 60000) {
        return QCoreApplication::translate("FRWScreenText", "%1s ago")
            .arg(static_cast<double>(ageMilliseconds) / 1000.0, 0, 'f', 0);
    }
    return QCoreApplication::translate("FRWScreenText", "%1m ago")
        .arg(static_cast<double>(ageMilliseconds) / 60000.0, 0, 'f', 0);
}

QString FRWScreenText::programName(const QString& executablePath)
{
    return executablePath.mid(executablePath.lastIndexOf(u'/') + 1);
}

QString FRWScreenText::stringOf(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

qint64 FRWScreenText::integerOf(const QJsonObject& record, const char* key)
{
    const QJsonValue value = record.value(QLatin1String(key));
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (!std::isfinite(number)) {
            return 0;
        }
        // 2^63 itself is not a qint64; converting anything at or past it is undefined.
        constexpr double kLimit = 9223372036854775808.0;
        if (number >= kLimit) {
            return std::numeric_limits<qint64>::max();
        }
        if (number < -kLimit) {
            return std::numeric_limits<qint64>::min();
        }
        return static_cast<qint64>(number);
    }
    if (value.isString()) {
        return value.toString().trimmed().toLongLong();
    }
    return 0;
}

bool FRWScreenText::isClosed(const QJsonObject& record)
{
    return record.value(QLatin1String("closed")).toBool();
}

QString FRWScreenText::identityOf(const QJsonObject& record)
{
    const QJsonValue id = record.value(QLatin1String("id"));
    if (id.isString()) {
        return QLatin1Char('s') + id.toString();
    }
    if (id.isDouble()) {
        return QLatin1Char('n') + QString::number(id.toDouble(), 'g', 17);
    }
    return {};
}

QString FRWScreenText::noLinkText(const QString& clipboard)
{
    return clipboard.trimmed().startsWith(QStringLiteral("ferrow://"), Qt::CaseInsensitive)
               ? QCoreApplication::translate("FRWScreenText",
                                             "The ferrow:// link on the clipboard is malformed")
               : QCoreApplication::translate("FRWScreenText", "No ferrow:// link on the clipboard");
}
