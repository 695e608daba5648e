#include "FRWScreens.h"

#include <QDebug>

#include "FRWAboutViewController.h"
#include "FRWActivityViewController.h"
#include "FRWConnectionsViewController.h"
#include "FRWDeviceViewController.h"
#include "FRWLogsViewController.h"
#include "FRWOverviewViewController.h"
#include "FRWPageKeys.h"
#include "FRWPolicyViewController.h"
#include "FRWProcessViewController.h"
#include "FRWProfileViewController.h"
#include "FRWRuleViewController.h"
#include "FRWSettingsViewController.h"
#include "FRWTunnelPresenter.h"

namespace {
template <typename Page>
void add(FRWPageFactory& factory, const char* key, const FRWScreensContext& context)
{
    factory.registerPage(QLatin1String(key), [context] { return std::make_unique<Page>(context); });
}
} // namespace

FRWPageFactory makeScreenPages(const FRWScreensContext& context)
{
    FRWPageFactory factory;
    if (!context.model) {
        return factory;
    }
    add<FRWActivityViewController>(factory, ferrow::pages::kActivity, context);
    add<FRWOverviewViewController>(factory, ferrow::pages::kOverview, context);
    add<FRWConnectionsViewController>(factory, ferrow::pages::kConnections, context);
    add<FRWProcessViewController>(factory, ferrow::pages::kProcess, context);
    add<FRWDeviceViewController>(factory, ferrow::pages::kDevice, context);
    add<FRWLogsViewController>(factory, ferrow::pages::kLogs, context);
    add<FRWSettingsViewController>(factory, ferrow::pages::kSettings, context);
    add<FRWAboutViewController>(factory, ferrow::pages::kAbout, context);
    if (context.profiles) {
        add<FRWProfileViewController>(factory, ferrow::pages::kProfile, context);
        add<FRWPolicyViewController>(factory, ferrow::pages::kPolicy, context);
        add<FRWRuleViewController>(factory, ferrow::pages::kRule, context);
    }
    return factory;
}

void presentScreenAlert(const FRWScreensContext& context, const QString& message, const QString& detail)
{
    if (context.presenter) {
        context.presenter->presentWarning(message, detail, {});
    } else {
        qWarning().noquote() << "ferrow:" << message << detail;
    }
}
