#pragma once

#include <QString>
#include <QStringList>

/// What a command-line tool printed and how it ended.
struct FRWToolResult {
    QString output;  ///< standard output as UTF-8; empty when it was not UTF-8
    int status = -1; ///< exit status; -1 when the tool could not be run to its end
};

/// Runs command-line tools directly (no shell), blocking until they exit. Tests inject fakes.
class FRWToolRunner {
public:
    FRWToolRunner() = default;
    virtual ~FRWToolRunner() = default;
    FRWToolRunner(const FRWToolRunner&) = delete;
    FRWToolRunner& operator=(const FRWToolRunner&) = delete;

    virtual FRWToolResult run(const QString& tool, const QStringList& arguments);
};
