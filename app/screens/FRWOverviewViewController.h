#pragma once

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class FRWOverviewCard;

/// The ways traffic can be taken over, as switch cards in three sections. The switches always show
/// the model's state after a refresh, not the user's last click.
class FRWOverviewViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWOverviewViewController(FRWScreensContext context, QObject* parent = nullptr);

    void refresh();

    /// The gateway note's text for this machine's address, ending by whether Enhanced Mode runs.
    static QString gatewayNoteDetail(const QString& lanIPv4, bool enhancedRunning);

protected:
    void viewDidLoad() override;

private:
    void toggleLocalProxy(bool on);
    void toggleGateway(bool on);
    void toggleRemote(bool on);

    FRWScreensContext m_context;
    FRWOverviewCard* m_systemProxy = nullptr;
    FRWOverviewCard* m_enhanced = nullptr;
    FRWOverviewCard* m_lan = nullptr;
    FRWOverviewCard* m_gateway = nullptr;
    FRWOverviewCard* m_remote = nullptr;
};
