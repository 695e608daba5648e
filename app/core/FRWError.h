#pragma once

#include <optional>

#include <QString>

/// An error for the user: its domain and code, and the text shown as an alert's detail.
struct FRWError {
    QString domain;
    int code = 0;
    QString description;

    /// An error of the application's tunnel layer ("Ferrow", 1).
    static FRWError ferrow(const QString& description) { return {QStringLiteral("Ferrow"), 1, description}; }
};

/// What a completion receives: nothing on success.
using FRWResult = std::optional<FRWError>;
