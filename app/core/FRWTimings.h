#pragma once

/// The application's fixed timings, in one place: the program uses them as they are, and tests
/// that need a shorter wait derive it from these rather than choosing their own.
namespace FRWTimings {

/// After launch, the chosen mode comes back once the model's first poll could have answered.
inline constexpr int kRestoreDelayMs = 600;
/// The longest an orderly quit waits for Enhanced Mode to stop.
inline constexpr int kQuitWatchdogMs = 10000;
/// The model polls the core once a second.
inline constexpr int kModelTickMs = 1000;

} // namespace FRWTimings
