#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariantMap>

/// The profile document format: sections, the node, group and rule readers, and the writers that
/// regenerate a section. Pure functions over a document's text; nothing here touches a file.
///
/// Lines end at "\n"; a "\r" before it belongs to the line end, so documents written with CR LF
/// read like LF documents. A rewrite keeps every untouched byte; the lines it writes end like the
/// document's first line.
namespace FRWProfileDocument {

inline constexpr char kGeneralSection[] = "[General]";
inline constexpr char kProxySection[] = "[Proxy]";
inline constexpr char kGroupSection[] = "[Proxy Group]";
inline constexpr char kRuleSection[] = "[Rule]";

/// Spaces and tabs removed at both ends; line breaks stay.
QStringView trimmed(QStringView text);
/// True for a trimmed line that opens a section.
bool isSectionHeader(QStringView trimmedLine);
/// True when the document's first line break is CR LF.
bool usesCRLF(QStringView text);

/// The lines of every section named `header` (any letter case), in order, without the header
/// lines and without their line ends; blank and comment lines included.
QStringList linesInSection(QStringView text, QStringView header);

QList<QVariantMap> editableNodes(QStringView text);
QList<QVariantMap> nodes(QStringView text);
QVariantMap nodeDetails(QStringView text, const QString& name);
QList<QVariantMap> groups(QStringView text);
QList<QVariantMap> editableGroups(QStringView text);
QList<QVariantMap> rules(QStringView text);

/// The text with the body of every `header` section replaced by `lines`; the section is appended
/// after an empty line when the text has none.
QString replaceSection(QStringView text, QStringView header, const QStringList& lines);

QStringList ruleLines(const QList<QVariantMap>& rules);
QStringList proxyLines(const QList<QVariantMap>& nodes);
QStringList groupLines(const QList<QVariantMap>& groups);

/// First letter of every word upper case, the rest lower case ("ferrow" → "Ferrow").
QString capitalised(QStringView text);

/// The default profile.
QString templateConfig();

} // namespace FRWProfileDocument
