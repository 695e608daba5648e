#include "FRWUpdateChecker.h"

#include <utility>

#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTimer>
#include <QVersionNumber>
#include <QXmlStreamReader>

namespace {

constexpr int kTimeoutMs = 20'000;
constexpr qint64 kMaxFeedBytes = 1 << 20;

} // namespace

FRWUpdateChecker::FRWUpdateChecker(QUrl feed, QString currentVersion, int firstCheckDelayMs, QObject* parent)
    : QObject(parent)
    , m_feed(std::move(feed))
    , m_currentVersion(std::move(currentVersion))
    , m_firstCheckDelayMs(firstCheckDelayMs)
    , m_network(new QNetworkAccessManager(this))
{
}

bool FRWUpdateChecker::isNewer(const QString& candidate, const QString& current)
{
    const QVersionNumber a = QVersionNumber::fromString(candidate);
    const QVersionNumber b = QVersionNumber::fromString(current);
    return !a.isNull() && QVersionNumber::compare(a, b) > 0;
}

std::optional<FRWUpdateChecker::Release> FRWUpdateChecker::newestRelease(const QByteArray& feed)
{
    QXmlStreamReader xml(feed);
    std::optional<Release> newest;
    Release item;
    bool inItem = false;
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (xml.isStartElement() && name == QLatin1String("item")) {
            inItem = true;
            item = {};
        } else if (xml.isEndElement() && name == QLatin1String("item")) {
            inItem = false;
            if (!item.version.isEmpty() && (!newest || isNewer(item.version, newest->version))) {
                newest = item;
            }
        } else if (inItem && xml.isStartElement()) {
            if (name == QLatin1String("enclosure")) {
                const auto attributes = xml.attributes();
                for (const QXmlStreamAttribute& attribute : attributes) {
                    if (attribute.name() == QLatin1String("version") && item.version.isEmpty()) {
                        item.version = attribute.value().toString();
                    } else if (attribute.name() == QLatin1String("shortVersionString")) {
                        item.displayVersion = attribute.value().toString();
                    } else if (attribute.name() == QLatin1String("url") && item.link.isEmpty()) {
                        item.link = QUrl(attribute.value().toString());
                    }
                }
            } else if (name == QLatin1String("version")) {
                item.version = xml.readElementText();
            } else if (name == QLatin1String("shortVersionString")) {
                item.displayVersion = xml.readElementText();
            } else if (name == QLatin1String("link")) {
                item.link = QUrl(xml.readElementText());
            }
        }
    }
    if (xml.hasError() || !newest || QVersionNumber::fromString(newest->version).isNull()) {
        return std::nullopt;
    }
    if (newest->displayVersion.isEmpty()) {
        newest->displayVersion = newest->version;
    }
    return newest;
}

void FRWUpdateChecker::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    QTimer::singleShot(m_firstCheckDelayMs, this, [this] {
        if (!m_quietAllowed || m_quietAllowed()) {
            check(false, nullptr);
        }
    });
}

void FRWUpdateChecker::checkForUpdates(QWidget* parent)
{
    check(true, parent);
}

void FRWUpdateChecker::check(bool interactive, QPointer<QWidget> parent)
{
    if (interactive) {
        // A check already under way answers the user too.
        m_userAsked = true;
        m_userParent = std::move(parent);
    }
    if (m_checking) {
        return;
    }
    m_checking = true;
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_checking = false;
        const bool interactive = std::exchange(m_userAsked, false);
        const QPointer<QWidget> parent = std::exchange(m_userParent, nullptr);
        QString error;
        std::optional<Release> newer;
        if (reply->error() != QNetworkReply::NoError) {
            error = reply->errorString();
        } else {
            const auto release = newestRelease(reply->read(kMaxFeedBytes));
            if (!release) {
                error = tr("The update feed could not be read.");
            } else if (isNewer(release->version, m_currentVersion)) {
                newer = release;
            }
        }
        emit checked(newer, error);
        if (interactive || newer) {
            tell(newer, error, parent);
        }
    });
}

void FRWUpdateChecker::tell(const std::optional<Release>& newer, const QString& error, QWidget* parent) const
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!error.isEmpty()) {
        box->setIcon(QMessageBox::Warning);
        box->setText(tr("Update Error!"));
        box->setInformativeText(tr("An error occurred in retrieving update information. Please try "
                                   "again later.\n\n%1")
                                    .arg(error));
        box->addButton(QMessageBox::Ok);
    } else if (!newer) {
        box->setText(tr("You\u2019re up-to-date!"));
        box->setInformativeText(
            tr("Ferrow %1 is currently the newest version available.").arg(m_currentVersion));
        box->addButton(QMessageBox::Ok);
    } else {
        box->setText(tr("A new version of Ferrow is available!"));
        box->setInformativeText(
            tr("Ferrow %1 is now available\u2014you have %2.").arg(newer->displayVersion, m_currentVersion));
        QPushButton* get = box->addButton(tr("Download"), QMessageBox::AcceptRole);
        box->addButton(tr("Remind Me Later"), QMessageBox::RejectRole);
        const QUrl link = newer->link;
        QObject::connect(get, &QPushButton::clicked, box, [link] { QDesktopServices::openUrl(link); });
    }
    box->open();
}
