#pragma once

#include <QString>

#include <functional>

#include "FRWError.h"

/// Runs a bash script as root through pkexec, which asks for the administrator's password.
class FRWPrivilegedScriptRunner {
public:
    explicit FRWPrivilegedScriptRunner(QString pkexecPath) : m_pkexecPath(std::move(pkexecPath)) {}

    /// Completes once on the GUI thread: nothing when the script exited with status 0;
    /// "Authorization was cancelled." for a dismissed prompt or any failing script; the launch
    /// error when pkexec cannot be run at all.
    void run(const QString& script, std::function<void(FRWResult)> completion) const;

private:
    QString m_pkexecPath;
};
