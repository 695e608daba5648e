#pragma once

#include <QList>

/// Rates per poll from the core's running byte totals, and the last 60 of them for the charts.
class FRWTrafficRates {
public:
    static constexpr qsizetype kHistoryLength = 60;

    /// Takes the totals of one /status answer. A direction whose total did not grow has rate 0 (a
    /// restarted core counts from zero again); the first sample after a reset has no predecessor,
    /// so both rates are 0.
    void apply(qint64 uplinkTotal, qint64 downlinkTotal);
    /// Forgets the previous totals, so the next sample starts over.
    void forgetTotals();

    double uplinkRate() const { return m_uplinkRate; }
    double downlinkRate() const { return m_downlinkRate; }
    /// Oldest first, at most 60 entries.
    const QList<double>& uplinkHistory() const { return m_upHistory; }
    const QList<double>& downlinkHistory() const { return m_downHistory; }

private:
    qint64 m_lastUplink = 0;
    qint64 m_lastDownlink = 0;
    double m_uplinkRate = 0;
    double m_downlinkRate = 0;
    QList<double> m_upHistory;
    QList<double> m_downHistory;
};
