#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QWidget;

/// Looks for a newer Ferrow in an appcast feed (RSS items carrying a version) and tells the user.
class FRWUpdateChecker : public QObject {
    Q_OBJECT

public:
    struct Release {
        QString version;
        QString displayVersion;
        QUrl link;
    };

    /// The quiet check starts `firstCheckDelayMs` after `start`.
    FRWUpdateChecker(QUrl feed, QString currentVersion, int firstCheckDelayMs = kFirstCheckDelayMs,
                     QObject* parent = nullptr);

    static constexpr int kFirstCheckDelayMs = 60'000;

    /// Asked when the quiet check is due: whether the feed may be read unasked. Always when unset.
    void setQuietCheckAllowed(std::function<bool()> allowed) { m_quietAllowed = std::move(allowed); }

    /// The newest release the feed lists, or nothing when it lists none in a readable form.
    static std::optional<Release> newestRelease(const QByteArray& feed);
    /// Dotted versions compared number by number ("0.10" is newer than "0.9").
    static bool isNewer(const QString& candidate, const QString& current);

    /// Starts the background check, once, a little after launch; it speaks up only about a newer
    /// version.
    void start();
    /// Checks now and always tells the result, over `parent`.
    void checkForUpdates(QWidget* parent);

signals:
    /// A check ended: the newer release when there is one; `error` is empty unless it failed.
    void checked(std::optional<FRWUpdateChecker::Release> newer, QString error);

private:
    void check(bool interactive, QPointer<QWidget> parent);
    void tell(const std::optional<Release>& newer, const QString& error, QWidget* parent) const;

    QUrl m_feed;
    QString m_currentVersion;
    QNetworkAccessManager* m_network;
    int m_firstCheckDelayMs;
    std::function<bool()> m_quietAllowed;
    bool m_started = false;
    bool m_checking = false;
    // The user asked while a check ran: its answer is shown to them.
    bool m_userAsked = false;
    QPointer<QWidget> m_userParent;
};
