#pragma once

#include <optional>

#include <QColor>
#include <QObject>
#include <QString>

#include "FRWStatusMenuState.h"

class QAction;
class QMenu;

/// Builds the status menu from a state, in one of two forms, and announces what the user picked.
/// `Drawn` paints Ferrow's own rows (badges, details, chevrons) and is used where Qt draws the
/// menu; `Native` uses plain items for menus the desktop draws itself (exported over D-Bus),
/// with the detail in the title and the badge drawn into the item's icon.
class FRWStatusMenuBuilder : public QObject {
    Q_OBJECT

public:
    enum class Form { Drawn, Native };

    struct Badge {
        QString text;
        QColor color;
    };
    struct ClientTotal {
        QString name;
        qint64 bytes = 0;
    };

    explicit FRWStatusMenuBuilder(QObject* parent = nullptr) : QObject(parent) {}

    /// Replaces everything in `menu` with the menu for `state`. A `Drawn` menu must be an FRWRowMenu.
    void build(QMenu& menu, const FRWStatusMenuState& state, Form form);

    static QString outboundLetter(const QString& mode);
    static QColor outboundColor(const QString& mode);
    static std::optional<Badge> latencyBadgeFor(const QString& node, const FRWStatusMenuState& state);
    /// Per-process totals of every connection, busiest first.
    static QList<ClientTotal> clientTotals(const QJsonArray& connections);
    static QString formatBytes(qint64 bytes);
    static constexpr char kShellExport[] =
        "export https_proxy=http://127.0.0.1:7891 "
        "http_proxy=http://127.0.0.1:7891 all_proxy=socks5://127.0.0.1:7891";

signals:
    void showMainWindow();
    void outboundModePicked(const QString& mode);
    void globalNodePicked(const QString& node);
    void groupTestRequested(const QString& group);
    void memberSelected(const QString& group, const QString& member);
    void toggleSystemProxy();
    void toggleEnhanced();
    void copyShellExport();
    void switchProfile(const QString& identifier);
    void showExternalResources();
    void updateAllExternalResources();
    void editProfileInTextEditor();
    void revealProfileInFileManager();
    void reloadProfile();
    void checkForUpdates();
    void quit();
};
