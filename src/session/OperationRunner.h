#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "session/GuiDispatcher.h"
#include "session/Sequence.h"

class CInstrumentConnection;

// Runs a connection's operations off the GUI thread, one at a time, on a worker thread of the
// connection (started with the first operation, ended by Stop). The worker and the
// communication thread take turns on the link through the connection lock, which every entry
// point and every polling step holds for its exchange only: the cycle goes on between the steps
// of a sequence and during its pauses, which hold no lock.
//
// Starting, stopping and every handler are on the GUI thread. A result comes back as a queued
// call after the model snapshot its operation produced was published; the operation counts as
// running until then, so results arrive in the order the operations were started. After Stop
// (log-out, lost link, closing the window) nothing more is delivered.
//
// An operation the operator starts while another runs is refused. A follow-up (a read the
// console starts itself as the consequence of an operation: the re-read after a display switch,
// an event chain) waits instead: follow-ups run one after another in the order they were
// started, as soon as the running operation has ended, before anything else can start. A
// follow-up whose receiver is gone by its turn never runs; a lost link drops those still
// waiting, and so does Stop.
class COperationRunner {
  public:
    using Body = std::function<RzResult(CInstrumentConnection&)>;
    using ResultHandler = std::function<void(RzResult)>;

    // `finished` runs on the GUI thread with every result before its handler (the connection
    // reports a lost link there).
    COperationRunner(CInstrumentConnection& connection, ResultHandler finished);
    ~COperationRunner();
    COperationRunner(const COperationRunner&) = delete;
    COperationRunner& operator=(const COperationRunner&) = delete;

    // Starts `body` on the worker. While another operation runs: LINK_E_BUSY at once, with a
    // message naming the running one ("Send is still running"). After Stop:
    // LINK_E_NOT_LOGGED_IN. `done` is skipped when `receiver` was given and has been destroyed
    // meanwhile.
    RzExpected<void> Start(std::string name, Body body, ResultHandler done,
                           QObject* receiver = nullptr);
    RzExpected<void> StartSequence(std::string name, CSequence sequence, ResultHandler done,
                                   QObject* receiver = nullptr);
    // Starts `body` now when nothing runs, else after the running operation and the follow-ups
    // started before it. Success when started or queued; LINK_E_NOT_LOGGED_IN after Stop.
    RzExpected<void> StartFollowUp(std::string name, Body body, ResultHandler done,
                                   QObject* receiver = nullptr);
    // Starts `body` and waits for its result without an event loop (command-line programs,
    // tests): the body's result, or why it did not start. LINK_E_NOT_LOGGED_IN when the
    // connection was closed meanwhile.
    RzExpected<void> RunAndWait(std::string name, Body body);

    // Interrupts pauses, waits for the worker to end (the caller closed the link first, so a
    // waiting exchange has ended) and drops every undelivered result and waiting follow-up.
    void Stop();
    // Ends the current and every later pause. Any thread.
    void InterruptPauses();
    // A pause of an operation's own (the worker's, or the caller's when an entry point runs
    // directly): waits `ms` in the pause source; false when interrupted.
    bool Pause(uint32_t ms) { return pauses_->Pause(ms); }
    // Replaces the pause source while no operation runs.
    void SetPauseSource(std::unique_ptr<CPauseSource> source);

    // Also while follow-ups wait: one of them runs then.
    bool Busy() const { return !running_.empty(); }
    const std::string& Running() const { return running_; }

  private:
    struct Pending {
        ResultHandler done;
        std::vector<ResultHandler> stepHandlers;
        QPointer<QObject> receiver;
        bool guarded = false;
    };

    // The work of an operation, given its number.
    using Work = std::function<RzResult(uint64_t number)>;
    struct Waiting {
        std::string name;
        Work work;
        Pending pending;
    };

    RzExpected<void> Begin(Waiting operation, bool followUp);
    // Hands `operation` to the worker as the running one.
    RzResult Launch(Waiting operation);
    // Launches the first waiting follow-up whose receiver still exists.
    void LaunchNextFollowUp();
    void Deliver(uint64_t number, RzResult result);
    void DeliverStep(uint64_t number, size_t step, RzResult result);
    bool ReceiverGone() const;
    void WorkerMain();

    CInstrumentConnection& connection_;
    ResultHandler finished_;
    CGuiDispatcher dispatcher_;
    std::unique_ptr<CPauseSource> pauses_;

    // GUI thread only.
    std::string running_;
    uint64_t current_ = 0;  // number of the running operation, 0 when none
    uint64_t started_ = 0;
    std::optional<Pending> pending_;
    std::deque<Waiting> followUps_;
    bool stopped_ = false;

    // Hand-over to the worker.
    std::mutex mutex_;
    std::condition_variable cv_;
    std::function<void()> job_;
    bool quit_ = false;
    std::thread worker_;
};
