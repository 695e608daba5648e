#pragma once

#include <functional>

#include <QObject>
#include <QPointer>
#include <QString>

#include "FRWError.h"
#include "FRWHelperInstallation.h"
#include "FRWHelperLayout.h"

class FRWControllerAPI;
class FRWHelperClient;
class FRWProfileStore;
class FRWUserDefaults;

/// Enhanced Mode: installing and upgrading the privileged helper, the connection to it, and
/// starting and stopping the helper-run core through it. GUI thread; completions run on it once.
class FRWEnhancedMode : public QObject {
    Q_OBJECT

public:
    struct Setup {
        FRWProfileStore* profiles = nullptr;
        QString corePath;
        QString ruleSetDir;
        QString helperAPIInfoPath;
        FRWHelperLayout helper;
        int stopRequestTimeoutMs = 8000;
        /// Arms the profile watch once the helper-run core has started.
        std::function<void()> startConfigWatch;
    };

    FRWEnhancedMode(Setup setup, FRWUserDefaults& defaults, QObject* parent = nullptr);

    /// A helper is in place: the build folder's or the system package's (files only, at once).
    bool helperReady() const;
    /// Which helper is installed, as systemd and the package manager say; completes once.
    void helperInstallation(std::function<void(FRWHelperInstallation)> completion);
    void installHelperWithCompletion(std::function<void(FRWResult)> completion);
    void uninstallHelperWithCompletion(std::function<void(FRWResult)> completion);
    void reinstallHelperWithCompletion(std::function<void(FRWResult)> completion);
    void helperIsCurrent(std::function<void(bool)> completion);
    void startWithCompletion(std::function<void(FRWResult)> completion);
    void startIfHelperCurrentWithCompletion(std::function<void(bool started, FRWResult)> completion);
    void stopWithCompletion(std::function<void(FRWResult)> completion);
    FRWHelperClient* connection();
    void xpcStart(std::function<void(FRWResult)> completion);
    void xpcStop(std::function<void(FRWResult)> completion);
    void runPrivilegedScript(const QString& script, std::function<void(FRWResult)> completion);
    bool gatewayMode() const;
    void setGatewayMode(bool enabled);

private:
    void runHelperInstallScript(std::function<void(FRWResult)> completion);

    Setup m_setup;
    FRWUserDefaults& m_defaults;
    FRWControllerAPI* m_api;
    QPointer<FRWHelperClient> m_connection;
    bool m_forceHelperInstall = false;
};
