#pragma once

#include <QJsonObject>
#include <QString>

class FRWUserDefaults;

/// The member the user chose in each select group, kept per profile in the user settings, so a
/// core that starts again serves the user's server rather than the profile's first member.
namespace FRWGroupChoices {

/// Group name → member for the active profile.
QJsonObject forActiveProfile(const FRWUserDefaults& defaults);
void keep(FRWUserDefaults& defaults, const QString& group, const QString& member);

} // namespace FRWGroupChoices
