#pragma once

#include "FRWClientsViewController.h"

class FRWSwitch;

/// Traffic per LAN device that uses this machine as its proxy or gateway, with the gateway switch
/// below the list.
class FRWDeviceViewController : public FRWClientsViewController {
    Q_OBJECT
public:
    explicit FRWDeviceViewController(FRWScreensContext context, QObject* parent = nullptr);

    QString emptyText() const override { return tr("No Device"); }
    QString keyForConnection(const QJsonObject& connection) const override;
    QString historyDimension() const override { return QStringLiteral("device"); }
    /// Only other machines, as in the live view.
    QString keyForHistoryName(const QString& name) const override;
    QIcon iconForKey(const QString& key) override;

    /// Whether a source address is another device: not loopback, not the tunnel's own addresses.
    static bool isDeviceAddress(const QString& address);
    static QString gatewaySettingsText(const QString& lanIPv4);

    void toggleGateway(bool on);
    void showGatewaySettings();

protected:
    QWidget* makeFooter() override;
    void didRefresh() override;

private:
    FRWSwitch* m_gatewaySwitch = nullptr;
    QIcon m_icon;
};
