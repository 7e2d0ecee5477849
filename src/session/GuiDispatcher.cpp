#include "session/GuiDispatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>

CGuiDispatcher::CGuiDispatcher() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CGuiDispatcher::~CGuiDispatcher() {
    *alive_ = false;
    notifier_.reset();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void CGuiDispatcher::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(call));
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }
}

void CGuiDispatcher::Arm() {
    if (notifier_ || wakeFd_ < 0 || QCoreApplication::instance() == nullptr) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { OnWake(); });
}

void CGuiDispatcher::OnWake() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    Drain();
}

void CGuiDispatcher::Drain() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(queue_);
    }
    const std::shared_ptr<bool> alive = alive_;
    for (auto& call : calls) {
        call();
        if (!*alive) {
            return;
        }
    }
}

void CGuiDispatcher::WaitUntil(const std::function<bool()>& done) {
    const std::shared_ptr<bool> alive = alive_;
    for (;;) {
        Drain();
        if (!*alive || done() || wakeFd_ < 0) {
            return;
        }
        pollfd p{wakeFd_, POLLIN, 0};
        if (poll(&p, 1, -1) < 0 && errno != EINTR) {
            return;
        }
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    }
}

void CGuiDispatcher::Clear() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(queue_);
}
