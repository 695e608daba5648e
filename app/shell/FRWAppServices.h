#pragma once

#include <functional>

#include <QString>

#include "FRWError.h"
#include "FRWStatusMenuState.h"

class FRWAppModel;
class FRWNotifier;
class FRWProfileStore;
class FRWTunnelController;

/// What the application delegate drives at launch and at quit, behind one seam so that the launch
/// order and the shutdown can be checked without a desktop. The real one forwards to the process's
/// tunnel controller, app model, notifier and profile library.
class FRWAppServices {
public:
    FRWAppServices() = default;
    virtual ~FRWAppServices() = default;
    FRWAppServices(const FRWAppServices&) = delete;
    FRWAppServices& operator=(const FRWAppServices&) = delete;

    virtual void recoverOrphanedSystemProxy() = 0;
    virtual void startModel() = 0;
    virtual void startNotifier() = 0;
    virtual void restoreDesiredModes() = 0;
    virtual void stopProbeCore() = 0;
    virtual bool systemProxyRunning() const = 0;
    /// `done` runs once the desktop settings are back (or could not be put back).
    virtual void stopSystemProxy(std::function<void()> done) = 0;
    /// `done` runs once every queued change to the desktop's proxy settings is over.
    virtual void finishSystemProxyWork(std::function<void()> done) = 0;
    /// Enhanced Mode's stop; answers at once when nothing runs.
    virtual void stopWithCompletion(std::function<void(FRWResult)> completion) = 0;
    /// The status menu's picture of the model and the profiles right now.
    virtual FRWStatusMenuState menuState() const = 0;
    /// A desktop notification of the app's own, under the notifier's permission.
    virtual void postNotification(const QString& title, const QString& body) = 0;

    /// The model's operations that menus trigger.
    virtual FRWAppModel* model() = 0;
    virtual FRWProfileStore* profiles() = 0;
};

/// The process's real objects.
class FRWSharedAppServices : public FRWAppServices {
public:
    FRWSharedAppServices(FRWTunnelController& tunnel, FRWAppModel& model, FRWNotifier& notifier,
                         FRWProfileStore& profiles)
        : m_tunnel(tunnel), m_model(model), m_notifier(notifier), m_profiles(profiles)
    {
    }

    void recoverOrphanedSystemProxy() override;
    void startModel() override;
    void startNotifier() override;
    void restoreDesiredModes() override;
    void stopProbeCore() override;
    bool systemProxyRunning() const override;
    void stopSystemProxy(std::function<void()> done) override;
    void finishSystemProxyWork(std::function<void()> done) override;
    void stopWithCompletion(std::function<void(FRWResult)> completion) override;
    FRWStatusMenuState menuState() const override;
    void postNotification(const QString& title, const QString& body) override;
    FRWAppModel* model() override { return &m_model; }
    FRWProfileStore* profiles() override { return &m_profiles; }

private:
    FRWTunnelController& m_tunnel;
    FRWAppModel& m_model;
    FRWNotifier& m_notifier;
    FRWProfileStore& m_profiles;
};
