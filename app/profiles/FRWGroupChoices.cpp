#include "FRWGroupChoices.h"

#include <QJsonDocument>

#include "FRWDefaultsKeys.h"
#include "FRWUserDefaults.h"

namespace FRWGroupChoices {

namespace {

QJsonObject everyProfile(const FRWUserDefaults& defaults)
{
    return QJsonDocument::fromJson(defaults.string(ferrow::defaults::kGroupChoices).toUtf8()).object();
}

QString activeProfile(const FRWUserDefaults& defaults)
{
    return defaults.string(ferrow::defaults::kActiveProfile);
}

} // namespace

QJsonObject forActiveProfile(const FRWUserDefaults& defaults)
{
    return everyProfile(defaults).value(activeProfile(defaults)).toObject();
}

void keep(FRWUserDefaults& defaults, const QString& group, const QString& member)
{
    QJsonObject choices = everyProfile(defaults);
    const QString profile = activeProfile(defaults);
    QJsonObject profileChoices = choices.value(profile).toObject();
    profileChoices.insert(group, member);
    choices.insert(profile, profileChoices);
    defaults.setString(ferrow::defaults::kGroupChoices,
                       QString::fromUtf8(QJsonDocument(choices).toJson(QJsonDocument::Compact)));
}

} // namespace FRWGroupChoices
