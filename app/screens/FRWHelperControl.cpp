#include "FRWHelperControl.h"

#include <memory>

#include <QFileInfo>
#include <QProcess>

#include "FRWNames.h"
#include "FRWSignature.h"
#include "FRWTunnelController.h"

FRWTunnelHelperControl::FRWTunnelHelperControl(FRWTunnelController& tunnel, FRWHelperLayout layout,
                                               QObject* parent)
    : QObject(parent), m_tunnel(tunnel), m_layout(std::move(layout))
{
}

bool FRWTunnelHelperControl::helperReady() const
{
    return m_tunnel.helperReady();
}

void FRWTunnelHelperControl::installation(std::function<void(FRWHelperInstallation)> completion)
{
    m_tunnel.helperInstallation(std::move(completion));
}

FRWHelperInstallation FRWTunnelHelperControl::installationOnDisk() const
{
    return helperInstallationOnDisk(m_layout);
}

void FRWTunnelHelperControl::installHelper(std::function<void(FRWResult)> completion)
{
    m_tunnel.installHelperWithCompletion(std::move(completion));
}

void FRWTunnelHelperControl::uninstallHelper(std::function<void(FRWResult)> completion)
{
    m_tunnel.uninstallHelperWithCompletion(std::move(completion));
}

void FRWTunnelHelperControl::stop(std::function<void(FRWResult)> completion)
{
    m_tunnel.stopWithCompletion(std::move(completion));
}

void FRWTunnelHelperControl::helperIsCurrent(std::function<void(bool)> completion)
{
    m_tunnel.helperIsCurrent(std::move(completion));
}

void FRWTunnelHelperControl::unitStates(std::function<void(FRWHelperUnitStates)> completion)
{
    auto* process = new QProcess(this);
    auto done = std::make_shared<bool>(false);
    auto finish = [process, done, completion = std::move(completion)](FRWHelperUnitStates states) {
        if (*done) {
            return;
        }
        *done = true;
        process->deleteLater();
        completion(std::move(states));
    };
    connect(process, &QProcess::errorOccurred, this, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            finish({});
        }
    });
    connect(process, &QProcess::finished, this, [process, finish](int status, QProcess::ExitStatus exit) {
        const QStringList lines = QString::fromUtf8(process->readAllStandardOutput()).split(u'\n');
        if (exit != QProcess::NormalExit || status != 0 || lines.size() < 2) {
            return finish({});
        }
        finish({lines.at(0).trimmed(), lines.at(1).trimmed()});
    });
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(m_layout.systemctlPath,
                   {QStringLiteral("show"), QStringLiteral("--property=ActiveState"),
                    QStringLiteral("--value"), QFileInfo(m_layout.socketUnitPath).fileName(),
                    QFileInfo(m_layout.serviceUnitPath).fileName()});
}

bool FRWTunnelHelperControl::helperSourceSigned() const
{
    using namespace ferrow::signature;
    if (m_layout.helperSource.isEmpty()) {
        return false;
    }
    const auto bytes = readFile(m_layout.helperSource.toStdString(), kMaxSignedFileSize);
    return bytes && verify(*bytes, ferrow::kHelperIdentifier, m_layout.makerPublicKeyPem.toStdString()) ==
                        VerifyStatus::Valid;
}
