#pragma once

#include <QDateTime>

/// The time of day, behind a seam so tests can move it.
class FRWClock {
public:
    FRWClock() = default;
    virtual ~FRWClock() = default;
    FRWClock(const FRWClock&) = delete;
    FRWClock& operator=(const FRWClock&) = delete;

    virtual QDateTime now() const;

    /// The real clock, shared by everything that does not get another one.
    static const FRWClock& system();
};
