#include "FRWEnhancedMode.h"

#include <utility>

#include <QFileInfo>
#include <QTimer>

#include "FRWAPIInfo.h"
#include "FRWControllerAPI.h"
#include "FRWDefaultsKeys.h"
#include "FRWHelperClient.h"
#include "FRWHelperInstaller.h"
#include "FRWHelperUnits.h"
#include "FRWNames.h"
#include "FRWPrivilegedScriptRunner.h"
#include "FRWProfileStore.h"
#include "FRWSigningKey.h"
#include "FRWTunnelTexts.h"
#include "FRWUserDefaults.h"

namespace {

void fail(const std::function<void(FRWResult)>& completion, const QString& message)
{
    if (completion) {
        completion(FRWError::ferrow(message));
    }
}

} // namespace

FRWEnhancedMode::FRWEnhancedMode(Setup setup, FRWUserDefaults& defaults, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_defaults(defaults)
    , m_api(new FRWControllerAPI(nullptr, nullptr, this))
{
}

bool FRWEnhancedMode::helperReady() const
{
    return buildFolderHelperOnDisk(m_setup.helper) || packagedHelperOnDisk(m_setup.helper);
}

void FRWEnhancedMode::helperInstallation(std::function<void(FRWHelperInstallation)> completion)
{
    detectHelperInstallation(m_setup.helper, this, std::move(completion));
}

bool FRWEnhancedMode::gatewayMode() const
{
    return m_defaults.boolean(ferrow::defaults::kGatewayMode);
}

void FRWEnhancedMode::setGatewayMode(bool enabled)
{
    m_defaults.setBoolean(ferrow::defaults::kGatewayMode, enabled);
}

void FRWEnhancedMode::runPrivilegedScript(const QString& script, std::function<void(FRWResult)> completion)
{
    FRWPrivilegedScriptRunner(m_setup.helper.pkexecPath).run(script, std::move(completion));
}

void FRWEnhancedMode::installHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    if (helperReady() && !m_forceHelperInstall) {
        return completion(std::nullopt);
    }
    // The system package's helper is the package manager's to replace, never this program's: its
    // units and polkit action are the package's files.
    const QPointer<FRWEnhancedMode> self(this);
    helperInstallation([self, completion = std::move(completion)](const FRWHelperInstallation& installation) {
        if (!self) {
            return fail(completion, tr("Helper install did not complete."));
        }
        if (installation.packaged()) {
            return fail(completion, FRWTunnelTexts::packagedHelperInstalled(installation.packageVersion));
        }
        self->runHelperInstallScript(completion);
    });
}

void FRWEnhancedMode::runHelperInstallScript(std::function<void(FRWResult)> completion)
{
    const QFileInfo source(m_setup.helper.helperSource);
    if (m_setup.helper.helperSource.isEmpty() || !source.isFile() || !source.isExecutable()) {
        return fail(completion, tr("Bundled helper is missing from the app."));
    }
    const QString script = FRWHelperInstaller::installScript(
        m_setup.helper, m_setup.helper.makerPublicKeyPem, QString::fromUtf8(ferrow::kHelperSocketUnitText),
        QString::fromUtf8(ferrow::kHelperServiceUnitText));
    const QPointer<FRWEnhancedMode> self(this);
    runPrivilegedScript(script, [self, completion = std::move(completion)](const FRWResult& error) {
        if (error) {
            return completion(error);
        }
        if (!self || !self->helperReady()) {
            return fail(completion, tr("Helper install did not complete."));
        }
        completion(std::nullopt);
    });
}

void FRWEnhancedMode::uninstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    const QPointer<FRWEnhancedMode> self(this);
    helperInstallation([self, completion = std::move(completion)](const FRWHelperInstallation& installation) {
        if (!self) {
            return fail(completion, tr("Helper removal did not complete."));
        }
        if (installation.kind == FRWHelperInstallation::Kind::Packaged) {
            return fail(completion, FRWTunnelTexts::packagedHelperInstalled(installation.packageVersion));
        }
        // Beside the package only the build folder's own copy goes; the package's socket takes over.
        const auto keep = installation.packaged() ? FRWHelperInstaller::Removal::KeepPackage
                                                  : FRWHelperInstaller::Removal::Everything;
        self->runPrivilegedScript(FRWHelperInstaller::uninstallScript(self->m_setup.helper, keep),
                                  completion);
    });
}

void FRWEnhancedMode::reinstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    if (m_connection) {
        // The next call must reach the new helper, not the one being replaced.
        FRWHelperClient* old = m_connection;
        m_connection = nullptr;
        old->invalidate();
        old->deleteLater();
    }
    m_forceHelperInstall = true;
    const QPointer<FRWEnhancedMode> self(this);
    installHelperWithCompletion([self, completion = std::move(completion)](FRWResult result) {
        if (self) {
            self->m_forceHelperInstall = false;
        }
        completion(std::move(result));
    });
}

FRWHelperClient* FRWEnhancedMode::connection()
{
    if (!m_connection) {
        auto* client = new FRWHelperClient(m_setup.helper.socketPath, this);
        const QPointer<FRWEnhancedMode> self(this);
        connect(client, &FRWHelperClient::invalidated, this, [self, client] {
            if (self && self->m_connection == client) {
                self->m_connection = nullptr;
            }
            client->deleteLater();
        });
        m_connection = client;
    }
    return m_connection;
}

void FRWEnhancedMode::helperIsCurrent(std::function<void(bool)> completion)
{
    if (!helperReady()) {
        return completion(false);
    }
    // The reply and the connection's failure may both arrive; the first one decides.
    auto answered = std::make_shared<bool>(false);
    auto onVersion = [answered, completion](qint64 version) {
        if (!std::exchange(*answered, true)) {
            completion(version >= ferrow::kHelperProtocolVersion);
        }
    };
    connection()->getVersion(std::move(onVersion),
                             [answered, completion = std::move(completion)](const FRWError&) {
                                 if (!std::exchange(*answered, true)) {
                                     completion(false);
                                 }
                             });
}

void FRWEnhancedMode::startWithCompletion(std::function<void(FRWResult)> completion)
{
    if (!m_setup.profiles->isConfigured()) {
        return fail(completion, FRWTunnelTexts::notConfigured());
    }
    m_setup.profiles->save();
    if (m_setup.corePath.isEmpty()) {
        return fail(completion, FRWTunnelTexts::coreMissing());
    }
    const QPointer<FRWEnhancedMode> self(this);
    helperIsCurrent([self, completion = std::move(completion)](bool current) {
        if (!self) {
            return fail(completion, tr("Helper install did not complete."));
        }
        if (current) {
            return self->xpcStart(completion);
        }
        self->reinstallHelperWithCompletion([self, completion](const FRWResult& error) {
            if (error) {
                return completion(error);
            }
            if (!self) {
                return fail(completion, tr("Helper install did not complete."));
            }
            self->xpcStart(completion);
        });
    });
}

void FRWEnhancedMode::startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion)
{
    const auto later = [this, completion = std::move(completion)](bool started, const FRWResult& error) {
        QTimer::singleShot(0, this, [completion, started, error] { completion(started, error); });
    };
    if (!helperReady()) {
        return later(false, std::nullopt);
    }
    const QPointer<FRWEnhancedMode> self(this);
    helperIsCurrent([self, later](bool current) {
        if (!self || !current) {
            return later(false, std::nullopt);
        }
        self->startWithCompletion([later](const FRWResult& error) { later(!error.has_value(), error); });
    });
}

void FRWEnhancedMode::xpcStart(std::function<void(FRWResult)> completion)
{
    ferrow::helperprotocol::StartCoreParams params;
    params.corePath = m_setup.corePath.toStdString();
    params.configPath = m_setup.profiles->configPath().toStdString();
    params.apiInfoPath = m_setup.helperAPIInfoPath.toStdString();
    params.ruleSetDir = m_setup.ruleSetDir.toStdString();
    params.tunName = ferrow::helperprotocol::kDefaultTunName;
    params.gateway = gatewayMode();
    const QPointer<FRWEnhancedMode> self(this);
    auto onAnswer = [self, completion](FRWResult error) {
        if (!error && self) {
            if (self->m_setup.startConfigWatch) {
                self->m_setup.startConfigWatch();
            }
        }
        completion(std::move(error));
    };
    connection()->startCore(
        params, std::move(onAnswer),
        [completion = std::move(completion)](FRWError error) { completion(std::move(error)); });
}

void FRWEnhancedMode::xpcStop(std::function<void(FRWResult)> completion)
{
    auto onAnswer = [completion](FRWResult error) { completion(std::move(error)); };
    connection()->stopCore(std::move(onAnswer), [completion = std::move(completion)](FRWError error) {
        completion(std::move(error));
    });
}

void FRWEnhancedMode::stopWithCompletion(std::function<void(FRWResult)> completion)
{
    if (helperReady()) {
        return xpcStop(std::move(completion));
    }
    // No helper: a core it left running can still be asked to stop through its own API.
    const std::optional<QJsonObject> info = FRWAPIInfo::read(m_setup.helperAPIInfoPath);
    if (!info ||
        !m_api->stop(*info, m_setup.stopRequestTimeoutMs, [completion] { completion(std::nullopt); })) {
        completion(std::nullopt);
    }
}
