#pragma once

#include <QString>
#include <QStringList>

/// What the profile format can hold and ferrow-core accepts, for the names and values that the
/// editors and node links put into a profile. Each check returns a short note for the editor, or
/// an empty text when the value is accepted. The rule behind each refusal is in
/// docs/profile-format.md.
namespace FRWProfileValidation {

/// A node's name. `takenNodes` and `takenGroups` are the names already defined (the node's own
/// old name left out when it is being edited); the core allows one policy per name.
QString nodeNameProblem(const QString& name, const QStringList& takenNodes, const QStringList& takenGroups);
/// A policy group's name, against the names already defined.
QString groupNameProblem(const QString& name, const QStringList& takenNodes, const QStringList& takenGroups);
QString serverProblem(const QString& server);
/// The key may be empty; the core then refuses only to use the node.
QString keyProblem(const QString& key);
/// A warning, not a refusal: a key that was not generated can be guessed offline from one
/// captured connection.
QString keyWarning(const QString& key);
/// A rough upper bound of the key's entropy in bits: the smaller of its alphabet estimate and its
/// character-frequency estimate.
double estimatedKeyBits(const QString& key);
/// A rule's value for its type ("FINAL" takes none).
QString ruleValueProblem(const QString& type, const QString& value);

inline constexpr double kGeneratedKeyBits = 80;

} // namespace FRWProfileValidation
