#pragma once

#include <QString>

/// Where the running program finds the core and the bundled rule sets: beside it in the install
/// prefix (bin/ → libexec/ferrow/ferrow-core, share/ferrow/rule-sets), or, for a program run from
/// the build tree, the core that the same build made.
struct FRWInstallLayout {
    QString corePath;   ///< empty when there is no core
    QString ruleSetDir; ///< empty when there is no rule-set folder

    static FRWInstallLayout forProgramIn(const QString& programDirectory);
};
