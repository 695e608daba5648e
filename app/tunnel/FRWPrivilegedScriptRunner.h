#pragma once

#include <functional>

#include <QString>

#include "FRWError.h"

/// Runs a bash script as root through pkexec, which asks for the administrator's password.
class FRWPrivilegedScriptRunner {
public:
    explicit FRWPrivilegedScriptRunner(QString pkexecPath) : m_pkexecPath(std::move(pkexecPath)) {}

    /// Completes once on the GUI thread: nothing when the script exited with status 0, the
    /// `failureText` of any other status, the launch error when pkexec cannot be run at all.
    void run(const QString& script, std::function<void(FRWResult)> completion) const;
    /// 126: the prompt was dismissed; 127: the account may not do this; otherwise the script's
    /// last error line, or its status when it said nothing.
    static QString failureText(int status, const QString& scriptError);

private:
    QString m_pkexecPath;
};
