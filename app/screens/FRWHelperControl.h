#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "FRWError.h"
#include "FRWHelperInstallation.h"
#include "FRWHelperLayout.h"

class FRWTunnelController;

/// What systemd says about the helper's two units ("active", "inactive", "failed", ...); empty
/// when it could not be asked.
struct FRWHelperUnitStates {
    QString socket;
    QString service;
};

/// The Enhanced Mode helper as the Settings page manages it: whether it is installed, current and
/// running, and its install and removal. Completions run once on the GUI thread.
class FRWHelperControl {
public:
    FRWHelperControl() = default;
    virtual ~FRWHelperControl() = default;
    FRWHelperControl(const FRWHelperControl&) = delete;
    FRWHelperControl& operator=(const FRWHelperControl&) = delete;

    virtual bool helperReady() const = 0;
    /// Which helper is installed: the system package's, the build folder's, both or none, as
    /// systemd says; and at once, from the files alone.
    virtual void installation(std::function<void(FRWHelperInstallation)> completion) = 0;
    virtual FRWHelperInstallation installationOnDisk() const = 0;
    virtual void installHelper(std::function<void(FRWResult)> completion) = 0;
    virtual void uninstallHelper(std::function<void(FRWResult)> completion) = 0;
    /// Stops Enhanced Mode.
    virtual void stop(std::function<void(FRWResult)> completion) = 0;
    virtual void helperIsCurrent(std::function<void(bool)> completion) = 0;
    virtual void unitStates(std::function<void(FRWHelperUnitStates)> completion) = 0;
    /// The helper that would be installed carries a valid signature of this build's maker key.
    virtual bool helperSourceSigned() const = 0;
};

/// The real one: the tunnel controller, and systemctl for the units' states.
class FRWTunnelHelperControl : public QObject, public FRWHelperControl {
    Q_OBJECT
public:
    /// `layout` must be the one the tunnel controller installs with.
    FRWTunnelHelperControl(FRWTunnelController& tunnel, FRWHelperLayout layout, QObject* parent = nullptr);

    bool helperReady() const override;
    void installation(std::function<void(FRWHelperInstallation)> completion) override;
    FRWHelperInstallation installationOnDisk() const override;
    void installHelper(std::function<void(FRWResult)> completion) override;
    void uninstallHelper(std::function<void(FRWResult)> completion) override;
    void stop(std::function<void(FRWResult)> completion) override;
    void helperIsCurrent(std::function<void(bool)> completion) override;
    void unitStates(std::function<void(FRWHelperUnitStates)> completion) override;
    bool helperSourceSigned() const override;

private:
    FRWTunnelController& m_tunnel;
    FRWHelperLayout m_layout;
};
