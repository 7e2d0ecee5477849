#include "session/TimerObject.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>

CTimerObject::CTimerObject() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { OnTimer(); });
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CTimerObject::~CTimerObject() {
    timer_.stop();
    wakeNotifier_.reset();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void CTimerObject::StartTimer(uint32_t intervalMs) {
    intervalMs_ = intervalMs;
    timer_.stop();
    if (intervalMs_ != 0) {
        timer_.start(static_cast<int>(intervalMs_));
    }
    // The notifier needs the GUI thread's event loop, which exists once timers are in use.
    if (!wakeNotifier_ && wakeFd_ >= 0) {
        wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, &context_,
                         [this] { OnWake(); });
    }
}

void CTimerObject::EnableTimer(bool on) {
    if (!on) {
        timer_.stop();
        return;
    }
    if (intervalMs_ != 0 && !timer_.isActive()) {
        timer_.start(static_cast<int>(intervalMs_));
    }
}

void CTimerObject::PostTimerCall() {
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }
}

void CTimerObject::OnWake() {
    uint64_t count = 0;
    if (read(wakeFd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
        OnTimer();
    }
}
