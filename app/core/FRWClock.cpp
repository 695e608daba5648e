#include "FRWClock.h"

QDateTime FRWClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

const FRWClock& FRWClock::system()
{
    static const FRWClock clock;
    return clock;
}
