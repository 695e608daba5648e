#pragma once

#include <QString>

/// Failure texts that more than one part of the tunnel layer reports.
namespace FRWTunnelTexts {

inline QString notConfigured()
{
    return QStringLiteral("No server configured. Open Profile, set a server and PSK, then Save.");
}

inline QString coreMissing()
{
    return QStringLiteral("Bundled core binary is missing.");
}

} // namespace FRWTunnelTexts
