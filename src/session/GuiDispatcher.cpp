#include "session/GuiDispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <vector>

// The wake-up every dispatcher shares: the list of armed dispatchers with calls queued, and an
// eventfd written when that list stops being empty. Lives as long as the process.
class CGuiWake {
  public:
    static CGuiWake& Instance() {
        static CGuiWake* const wake = new CGuiWake;  // never destroyed: dispatchers may outlive
        return *wake;                                // any static
    }

    // Any thread: `dispatcher` has calls for the event loop.
    void Ready(CGuiDispatcher* dispatcher) {
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            if (dispatcher->listed_) {
                return;
            }
            dispatcher->listed_ = true;
            first = ready_.empty();
            ready_.push_back(dispatcher);
        }
        if (first && fd_ >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
        }
    }

    // GUI thread, as a dispatcher goes away.
    void Forget(CGuiDispatcher* dispatcher) {
        std::lock_guard lock(mutex_);
        if (dispatcher->listed_) {
            ready_.erase(std::remove(ready_.begin(), ready_.end(), dispatcher), ready_.end());
            dispatcher->listed_ = false;
        }
    }

    // GUI thread: watches the eventfd from the application's event loop (once per application
    // object; the notifier goes with it).
    void Watch() {
        QCoreApplication* app = QCoreApplication::instance();
        if (notifier_ != nullptr || fd_ < 0 || app == nullptr) {
            return;
        }
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read,
                                        QThread::currentThread() == app->thread() ? app : nullptr);
        QObject::connect(notifier_.data(), &QSocketNotifier::activated, notifier_.data(),
                         [this] { OnWake(); });
    }

  private:
    CGuiWake() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    // Runs the calls of every ready dispatcher, including those that become ready meanwhile. A
    // call may destroy any dispatcher: a destroyed one has left the list, and the one draining
    // stops by itself. A call may also run a nested event loop (a modal dialog): while others
    // wait behind the one draining, the eventfd stays signalled, so that the nested loop runs
    // them too.
    void OnWake() {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
        for (;;) {
            CGuiDispatcher* next = nullptr;
            bool more = false;
            {
                std::lock_guard lock(mutex_);
                if (ready_.empty()) {
                    return;
                }
                next = ready_.front();
                ready_.erase(ready_.begin());
                next->listed_ = false;
                more = !ready_.empty();
            }
            if (more) {
                const uint64_t one = 1;
                [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
            }
            next->Drain();
        }
    }

    const int fd_;
    std::mutex mutex_;
    std::vector<CGuiDispatcher*> ready_;  // under mutex_, in the order they became ready
    QPointer<QSocketNotifier> notifier_;  // GUI thread
};

CGuiDispatcher::CGuiDispatcher() = default;

CGuiDispatcher::~CGuiDispatcher() {
    *alive_ = false;
    CGuiWake::Instance().Forget(this);
}

void CGuiDispatcher::Post(std::function<void()> call) {
    bool armed = false;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(call));
        if (waiting_) {
            posted_.notify_one();
        }
        armed = armed_;
    }
    if (armed) {
        CGuiWake::Instance().Ready(this);
    }
}

void CGuiDispatcher::Arm() {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    CGuiWake& wake = CGuiWake::Instance();
    wake.Watch();
    bool pending = false;
    {
        std::lock_guard lock(mutex_);
        if (armed_) {
            return;
        }
        armed_ = true;
        pending = !queue_.empty();
    }
    if (pending) {
        wake.Ready(this);
    }
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
        if (!*alive || done()) {
            return;
        }
        std::unique_lock lock(mutex_);
        waiting_ = true;
        posted_.wait(lock, [this] { return !queue_.empty(); });
        waiting_ = false;
    }
}

void CGuiDispatcher::Clear() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(queue_);
}
