#pragma once

#include <QDBusConnection>
#include <QStringList>

/// The other accounts with a login session on this computer, as systemd-logind lists them. Enhanced
/// Mode steers every account's traffic and DNS, so its start names them. Blocking (a D-Bus call per
/// session, up to a second each): call it on a worker thread.
class FRWOtherAccounts {
public:
    /// `bus` is where logind answers (the system bus); `ownUid` is the account to leave out.
    FRWOtherAccounts(QDBusConnection bus, uint ownUid);

    static FRWOtherAccounts system();

    /// The names of other accounts with an open user session, sorted, each once; empty when logind
    /// does not answer. Login screens, the system account and sessions being closed do not count.
    QStringList loggedIn() const;

private:
    QDBusConnection m_bus;
    uint m_ownUid;
};
