#pragma once

#include <QFont>
#include <QJsonObject>
#include <QString>

/// The texts the monitoring screens derive from the model's values.
class FRWScreenText {
public:
    FRWScreenText() = delete;

    /// The mark shown wherever a value is missing.
    static QString noValue();
    /// Why the clipboard gave no link: a broken link is named as such, not as missing.
    static QString noLinkText(const QString& clipboard);
    /// The version and build texts, "?" when unknown.
    static QString orQuestionMark(const QString& text);

    /// "Direct", "Global: <node>" ("—" without a node) or "Rule-Based Proxy".
    static QString outboundDisplay(const QString& mode, const QString& globalNode);
    /// The flag of a two-letter country code in any case; empty for anything else.
    static QString flagFor(const QString& countryCode);
    /// Whether `font`, with the fonts Qt falls back to, draws the flag as one picture rather than
    /// as empty boxes or two letters.
    static bool drawsFlag(const QString& flag, const QFont& font);
    /// The address, after its country's flag when the code is a real two-letter one.
    static QString externalIPText(const QString& countryCode, const QString& address);
    /// "AS1136  KPN" reads "AS1136 · KPN": only the first double space is the separator.
    static QString asnText(const QString& asn);
    /// A latency followed by " ms"; the no-value mark stays alone.
    static QString withMilliseconds(const QString& latency);

    /// The connection list's byte form: "1023 B", "1.0 KB", "1.0 MB", "1.00 GB".
    static QString connectionBytes(qint64 bytes);
    /// "just now", "12s ago" or "3m ago" for an age in milliseconds.
    static QString ageText(qint64 ageMilliseconds);
    /// The program name the live connections carry, for an executable path the history keeps.
    static QString programName(const QString& executablePath);

    // Lenient reads of a connection record: a missing or mistyped member is empty, 0 or false.
    static QString stringOf(const QJsonObject& record, const char* key);
    static qint64 integerOf(const QJsonObject& record, const char* key);
    static bool isClosed(const QJsonObject& record);
    /// A key for "id" that tells a number 1 from a string "1"; empty when there is no id.
    static QString identityOf(const QJsonObject& record);
};
