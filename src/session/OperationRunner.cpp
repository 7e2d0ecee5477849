#include "session/OperationRunner.h"

COperationRunner::COperationRunner(CInstrumentConnection& connection, ResultHandler finished)
    : connection_(connection),
      finished_(std::move(finished)),
      pauses_(std::make_unique<CSteadyPauseSource>()) {}

COperationRunner::~COperationRunner() {
    Stop();
}

void COperationRunner::SetPauseSource(std::unique_ptr<CPauseSource> source) {
    if (Busy() || !source) {
        return;
    }
    std::lock_guard lock(mutex_);
    pauses_ = std::move(source);
}

void COperationRunner::InterruptPauses() {
    std::lock_guard lock(mutex_);
    pauses_->Interrupt();
}

RzExpected<void> COperationRunner::Start(std::string name, Body body, ResultHandler done,
                                         QObject* receiver) {
    Pending pending{std::move(done), {}, receiver, receiver != nullptr};
    return Begin(
        {std::move(name), [this, body = std::move(body)](uint64_t) { return body(connection_); },
         std::move(pending)},
        false);
}

RzExpected<void> COperationRunner::StartFollowUp(std::string name, Body body, ResultHandler done,
                                                 QObject* receiver) {
    Pending pending{std::move(done), {}, receiver, receiver != nullptr};
    return Begin(
        {std::move(name), [this, body = std::move(body)](uint64_t) { return body(connection_); },
         std::move(pending)},
        true);
}

RzExpected<void> COperationRunner::StartSequence(std::string name, CSequence sequence,
                                                 ResultHandler done, QObject* receiver) {
    Pending pending{std::move(done), std::move(sequence.handlers_), receiver, receiver != nullptr};
    auto work = [this, steps = std::move(sequence.steps_)](uint64_t number) {
        return CSequence::RunSteps(
            steps, connection_, *pauses_, [this, number](size_t i, RzResult r) {
                dispatcher_.Post([this, number, i, r] { DeliverStep(number, i, r); });
            });
    };
    return Begin({std::move(name), std::move(work), std::move(pending)}, false);
}

RzExpected<void> COperationRunner::RunAndWait(std::string name, Body body) {
    bool finished = false;
    RzResult result = LINK_E_NOT_LOGGED_IN;
    RzExpected<void> started = Start(std::move(name), std::move(body), [&](RzResult r) {
        finished = true;
        result = r;
    });
    if (!started) {
        return started;
    }
    // The runner may be destroyed while waiting (a handler closed the connection); `finished`
    // and `result` live on this stack.
    dispatcher_.WaitUntil([&finished] { return finished; });
    return ExpectedOf(result);
}

RzExpected<void> COperationRunner::Begin(Waiting operation, bool followUp) {
    if (stopped_) {
        return RzError(LINK_E_NOT_LOGGED_IN);
    }
    if (Busy() && followUp) {
        followUps_.push_back(std::move(operation));
        return {};
    }
    if (Busy()) {
        return RzError(LINK_E_BUSY, {}, {running_ + " is still running"});
    }
    return ExpectedOf(Launch(std::move(operation)));
}

RzResult COperationRunner::Launch(Waiting operation) {
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { WorkerMain(); });
        } catch (...) {
            return LINK_E_GENERAL;
        }
    }
    dispatcher_.Arm();
    running_ = operation.name.empty() ? std::string("An operation") : std::move(operation.name);
    current_ = ++started_;
    pending_ = std::move(operation.pending);
    {
        std::lock_guard lock(mutex_);
        job_ = [this, number = current_, work = std::move(operation.work)] {
            const RzResult result = work(number);
            dispatcher_.Post([this, number, result] { Deliver(number, result); });
        };
    }
    cv_.notify_one();
    return RZ_OK;
}

void COperationRunner::LaunchNextFollowUp() {
    while (!followUps_.empty()) {
        Waiting next = std::move(followUps_.front());
        followUps_.pop_front();
        if (!(next.pending.guarded && next.pending.receiver.isNull()) &&
            Launch(std::move(next)) == RZ_OK) {
            return;
        }
    }
}

bool COperationRunner::ReceiverGone() const {
    return pending_->guarded && pending_->receiver.isNull();
}

void COperationRunner::DeliverStep(uint64_t number, size_t step, RzResult result) {
    if (number != current_ || !pending_ || ReceiverGone() ||
        step >= pending_->stepHandlers.size() || !pending_->stepHandlers[step]) {
        return;
    }
    // A handler may close the connection, which destroys this runner: call a copy, last.
    const ResultHandler handler = pending_->stepHandlers[step];
    handler(result);
}

void COperationRunner::Deliver(uint64_t number, RzResult result) {
    if (number != current_ || !pending_) {
        return;
    }
    Pending pending = std::move(*pending_);
    pending_.reset();
    running_.clear();
    current_ = 0;
    // The next follow-up starts before any handler runs, so that nothing started there comes
    // before it. After a lost link none of them runs: dropped, they end their waits (their
    // handlers go when this call returns).
    std::deque<Waiting> dropped;
    if (IsLinkBroken(result)) {
        dropped.swap(followUps_);
    } else {
        LaunchNextFollowUp();
    }
    const ResultHandler finished = finished_;
    if (finished) {
        finished(result);
    }
    // `finished` does not close the connection (it reports a lost link through the event loop),
    // so the runner still exists here; `done` may close it and comes last.
    if ((pending.guarded && pending.receiver.isNull()) || !pending.done) {
        return;
    }
    pending.done(result);
}

void COperationRunner::Stop() {
    stopped_ = true;
    running_.clear();
    current_ = 0;
    pending_.reset();
    std::deque<Waiting>().swap(followUps_);
    {
        std::lock_guard lock(mutex_);
        pauses_->Interrupt();
        quit_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    dispatcher_.Clear();
}

void COperationRunner::WorkerMain() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || job_ != nullptr; });
        if (quit_) {
            return;
        }
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}
