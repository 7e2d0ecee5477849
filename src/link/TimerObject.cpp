#include "link/TimerObject.h"

CTimerObject::CTimerObject() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { OnTimer(); });
}

CTimerObject::~CTimerObject() {
    timer_.stop();
}

void CTimerObject::StartTimer(uint32_t intervalMs) {
    intervalMs_ = intervalMs;
    timer_.stop();
    if (intervalMs_ != 0) {
        timer_.start(static_cast<int>(intervalMs_));
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
    QMetaObject::invokeMethod(
        &context_, [this] { OnTimer(); }, Qt::QueuedConnection);
}
