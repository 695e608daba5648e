#pragma once

#include <memory>

#include <QString>

/// One stored profile. Screens edit `name` and `configText` in place and then save the library;
/// `identifier` is the stem of its file and follows `name` at the next save.
class FRWProfile {
public:
    FRWProfile(QString identifier, QString name, QString configText)
        : identifier(std::move(identifier)), name(std::move(name)), configText(std::move(configText))
    {
    }

    QString identifier;
    QString name;
    QString configText;
};

using FRWProfilePtr = std::shared_ptr<FRWProfile>;
