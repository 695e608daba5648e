#pragma once

#include <QCoreApplication>
#include <QString>

/// Failure texts that more than one part of the tunnel layer reports.
namespace FRWTunnelTexts {

inline QString notConfigured()
{
    return QCoreApplication::translate(
        "FRWTunnelTexts", "No server configured. Open Profile, set a server and PSK, then Save.");
}

inline QString coreMissing()
{
    return QCoreApplication::translate("FRWTunnelTexts", "Bundled core binary is missing.");
}

/// Why Ferrow leaves the helper alone when the system package installed it.
inline QString packagedHelperInstalled(const QString& packageVersion)
{
    const QString version = packageVersion.isEmpty() ? QString() : QStringLiteral(" %1").arg(packageVersion);
    return QCoreApplication::translate(
               "FRWTunnelTexts",
               "The Enhanced Mode helper comes with the system package ferrow%1, so Ferrow does not "
               "install or remove its own in its place. Update or remove it with the system's "
               "package manager.")
        .arg(version);
}

} // namespace FRWTunnelTexts
