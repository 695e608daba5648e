#pragma once

/// The application's fixed timings, in one place: tests read them here and shorten them in the
/// open rather than replacing them unseen.
namespace FRWTimings {

/// The chosen mode is restored this long after launch, once the first poll could answer.
inline constexpr int kRestoreDelayMs = 600;
/// A quit waits at most this long for the tunnel and the desktop's settings.
inline constexpr int kQuitWatchdogMs = 10'000;
/// The model polls the core, probes and considers latency sweeps on this tick.
inline constexpr int kTickIntervalMs = 1000;

} // namespace FRWTimings
