#include "FRWTrafficRates.h"

namespace {

double rateBetween(qint64 previous, qint64 now)
{
    return now > previous ? double(now - previous) : 0.0;
}

void appendBounded(QList<double>& history, double value)
{
    history.append(value);
    while (history.size() > FRWTrafficRates::kHistoryLength) {
        history.removeFirst();
    }
}

} // namespace

void FRWTrafficRates::apply(qint64 uplinkTotal, qint64 downlinkTotal)
{
    const bool firstSample = m_lastUplink == 0 && m_lastDownlink == 0;
    m_uplinkRate = firstSample ? 0.0 : rateBetween(m_lastUplink, uplinkTotal);
    m_downlinkRate = firstSample ? 0.0 : rateBetween(m_lastDownlink, downlinkTotal);
    m_lastUplink = uplinkTotal;
    m_lastDownlink = downlinkTotal;
    appendBounded(m_upHistory, m_uplinkRate);
    appendBounded(m_downHistory, m_downlinkRate);
}

void FRWTrafficRates::forgetTotals()
{
    m_lastUplink = 0;
    m_lastDownlink = 0;
}
