#include "FRWConfigWatch.h"

#include <array>
#include <sys/inotify.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>

#include "FRWTimerSource.h"

namespace {
// Written, extended, link count changed, deleted, renamed.
constexpr uint32_t kEvents = IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// After these the watch no longer follows the path: the file there is another one, or none.
constexpr uint32_t kRearmEvents = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;
} // namespace

FRWConfigWatch::FRWConfigWatch(int debounceMs, int retryMs, FRWTimerSource* timers)
    : m_debounceMs(debounceMs), m_retryMs(retryMs), m_timers(timers)
{
}

FRWConfigWatch::~FRWConfigWatch()
{
    teardownWatchSource();
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
}

void FRWConfigWatch::armWatch(const QString& path)
{
    m_path = path;
    if (m_inotify < 0) {
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0) {
            qWarning("Ferrow: cannot watch the profile: inotify is not available");
            return;
        }
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FRWConfigWatch::readEvents);
        FRWTimerSource& timers = FRWTimerSource::orSystem(m_timers);
        // A coarse timer may fire up to 5 % early; the quiet time is a promise.
        m_debounceTimer = timers.createTimer(this, Qt::PreciseTimer);
        connect(m_debounceTimer, &FRWTimer::timeout, this, &FRWConfigWatch::changesSettled);
        m_retryTimer = timers.createTimer(this);
        connect(m_retryTimer, &FRWTimer::timeout, this, &FRWConfigWatch::rearm);
    }
    rearm();
}

void FRWConfigWatch::rearm()
{
    teardownWatchSource();
    m_retryTimer->stop();
    if (m_path.isEmpty()) {
        return;
    }
    m_watch = inotify_add_watch(m_inotify, QFile::encodeName(m_path).constData(), kEvents);
    if (m_watch < 0) {
        // Most likely the file is being replaced right now.
        m_waitingForFile = true;
        m_retryTimer->start(std::chrono::milliseconds(m_retryMs));
    } else if (m_waitingForFile) {
        // The file is back, probably with other text than the core runs with.
        m_waitingForFile = false;
        scheduleReload();
    }
}

void FRWConfigWatch::teardownWatchSource()
{
    if (m_watch >= 0) {
        inotify_rm_watch(m_inotify, m_watch);
        m_watch = -1;
    }
}

void FRWConfigWatch::scheduleReload()
{
    m_debounceTimer->start(std::chrono::milliseconds(m_debounceMs)); // restarts a pending one
}

void FRWConfigWatch::readEvents()
{
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool changed = false;
    bool lostFile = false;
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            // Events of a watch that was already replaced still mean the file changed.
            changed = true;
            lostFile |= event->wd == m_watch && (event->mask & kRearmEvents) != 0;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (lostFile) {
        m_watch = -1; // the kernel dropped it, or it follows a file no longer at the path
        rearm();
    }
    if (changed) {
        scheduleReload();
    }
}
