#pragma once

#include <QString>
#include <QStringList>

/// The rule editor's texts and value checks, by rule type.
namespace FRWRuleText {

/// The editor's types in groups, in pop-up order; a separator stands between groups.
const QList<QStringList>& ruleTypeGroups();
QString placeholderForRuleType(const QString& type);
QString hintForRuleType(const QString& type);
bool isWellFormedValue(const QString& value, const QString& type);
/// What a rule will match, in plain words, for the confirmation.
QString explanationForType(const QString& type, const QString& value, const QString& policy);

} // namespace FRWRuleText
