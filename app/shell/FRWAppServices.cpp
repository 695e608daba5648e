#include "FRWAppServices.h"

#include "FRWAppModel.h"
#include "FRWNotifier.h"
#include "FRWProfileStore.h"
#include "FRWTunnelController.h"

void FRWSharedAppServices::recoverOrphanedSystemProxy()
{
    m_tunnel.recoverOrphanedSystemProxy();
}

void FRWSharedAppServices::startModel()
{
    m_model.start();
}

void FRWSharedAppServices::startNotifier()
{
    m_notifier.start();
}

void FRWSharedAppServices::postNotification(const QString& title, const QString& body)
{
    m_notifier.post(title, body);
}

void FRWSharedAppServices::restoreDesiredModes()
{
    m_model.restoreDesiredModes();
}

void FRWSharedAppServices::stopProbeCore()
{
    m_tunnel.stopProbeCore();
}

bool FRWSharedAppServices::systemProxyRunning() const
{
    return m_tunnel.systemProxyRunning();
}

void FRWSharedAppServices::stopSystemProxy(std::function<void()> done)
{
    m_tunnel.stopSystemProxy(std::move(done));
}

void FRWSharedAppServices::finishSystemProxyWork(std::function<void()> done)
{
    m_tunnel.finishSystemProxyWork(std::move(done));
}

void FRWSharedAppServices::stopWithCompletion(std::function<void(FRWResult)> completion)
{
    m_tunnel.stopWithCompletion(std::move(completion));
}

FRWStatusMenuState FRWSharedAppServices::menuState() const
{
    FRWStatusMenuState state;
    state.outboundMode = m_model.outboundMode();
    state.outboundGlobalNode = m_model.outboundGlobalNode();
    state.outboundNodes = m_model.outboundNodes();
    state.groups = m_model.groups();
    state.nodeLatencies = m_model.nodeLatencies();
    state.nodesTesting = m_model.nodesTesting();
    state.connections = m_model.connections();
    state.systemProxyRunning = m_model.systemProxyRunning();
    state.enhancedRunning = m_model.enhancedRunning();
    // The real program always has the window.
    state.externalResourcesAvailable = true;
    for (const FRWProfilePtr& profile : m_profiles.profiles()) {
        state.profiles.append({profile->identifier, profile->name});
    }
    if (const FRWProfilePtr active = m_profiles.activeProfile()) {
        state.activeProfileIdentifier = active->identifier;
    }
    return state;
}
