// The log-in as an operation of the connection manager: it runs on the manager's log-in thread,
// reports its progress and its result to the GUI thread, and can be cancelled at any point.
#include <string>
#include <utility>
#include <vector>

#include "platform/StatusSink.h"
#include "session/ConnectionManager.h"
#include "session/ExchangeTrace.h"
#include "session/LoginDialogue.h"
#include "session/LoginJob.h"

namespace {

// Where the connection start failed: the identity, or a settings step and its request.
std::string PreparationFailure(const CTraceLink* trace, RzResult result, int step, int steps) {
    if (step == 0) {
        return result == LINK_E_UNSUPPORTED ? "the instrument is not a supported RZ model"
                                            : std::string(ResultCodeName(result));
    }
    std::string during =
        "while loading settings, step " + std::to_string(step) + " of " + std::to_string(steps);
    if (trace != nullptr) {
        const std::vector<CTraceEntry> entries = trace->Trace()->Entries();
        if (!entries.empty() && entries.back().result != RZ_OK) {
            during += " (" + entries.back().request + ")";
        }
    }
    return LoginExchangeFailure(result, during);
}

}  // namespace

RzResult CConnectionManager::StartLogin(const char* ip, const char* user, const char* password,
                                        uint16_t port, LoginDoneHandler done,
                                        LoginProgressHandler progress) {
    if (!initialised_) {
        return LINK_E_NOT_INITIALIZED;
    }
    if (login_ && login_->cancelled) {
        // A cancelled log-in's link is abandoned, so its thread is on its way back; the new one
        // need not wait for the event loop to hear of it.
        WaitForLoginHandBack();
        DiscardLogin(*login_);
        login_.reset();
    }
    if (login_) {
        ShowStatusMessage("Log-in is still running");
        return LINK_E_BUSY;
    }
    auto job = std::make_unique<LoginJob>();
    if (std::unique_ptr<CLinkTransport> link = transportFactory_ ? transportFactory_() : nullptr) {
        auto traced =
            std::make_unique<CTraceLink>(std::move(link), std::make_shared<CExchangeTrace>());
        // The whole conversation is traced, the log-in dialogue too, but never the password.
        traced->HideRequest(password != nullptr ? password : "");
        traced->SetRecording(true);
        job->traceLink = traced.get();
        job->link = std::move(traced);
    }
    // The connection is made once the instrument is identified, with its id.
    if (!job->link) {
        ShowStatusString(RzStr::kOutOfMemory);
        return LINK_E_NO_MEMORY;
    }
    job->link->SetTimeout(linkTimeoutMs_);
    job->number = ++logins_;
    job->ip = ip != nullptr ? ip : "";
    job->user = user != nullptr ? user : "";
    job->password = password != nullptr ? password : "";
    job->port = port;
    job->screenPolling = screenPolling_;
    for (const auto& record : records_) {
        job->idsInUse.push_back(record.id);
    }
    job->done = std::move(done);
    job->progress = std::move(progress);
    loginCalls_.Arm();
    if (!loginThread_.joinable()) {
        loginQuit_ = false;
        try {
            loginThread_ = std::thread([this] { LoginThreadMain(); });
        } catch (...) {
            return LINK_E_GENERAL;
        }
    }
    {
        std::lock_guard lock(loginMutex_);
        loginQueued_ = job.get();
        loginBusy_ = true;
    }
    loginCv_.notify_all();
    login_ = std::move(job);
    return RZ_OK;
}

void CConnectionManager::LoginThreadMain() {
    std::unique_lock lock(loginMutex_);
    for (;;) {
        loginCv_.wait(lock, [this] { return loginQuit_ || loginQueued_ != nullptr; });
        if (loginQueued_ == nullptr) {
            return;
        }
        LoginJob& job = *std::exchange(loginQueued_, nullptr);
        const uint64_t number = job.number;
        lock.unlock();
        RunLogin(job);
        lock.lock();
        // The job is the GUI thread's again from here on.
        loginBusy_ = false;
        lock.unlock();
        loginCv_.notify_all();
        loginCalls_.Post([this, number] { FinishLogin(number); });
        lock.lock();
    }
}

// Waits until the log-in thread no longer touches the job: at once when it has handed it back,
// otherwise as soon as the closed link has ended its exchange.
void CConnectionManager::WaitForLoginHandBack() {
    std::unique_lock lock(loginMutex_);
    loginCv_.wait(lock, [this] { return !loginBusy_; });
}

void CConnectionManager::StopLoginThread() {
    if (!loginThread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(loginMutex_);
        loginQuit_ = true;
    }
    loginCv_.notify_all();
    loginThread_.join();
}

void CConnectionManager::RunLogin(LoginJob& job) {
    const uint64_t number = job.number;
    // Set before this thread started and never changed: without a handler there is nothing to
    // report, and the GUI thread is not woken for it.
    const bool reported = static_cast<bool>(job.progress);
    const auto report = [this, number, reported](CLoginProgress::Phase phase, int step = 0,
                                                 int steps = 0) {
        if (!reported) {
            return;
        }
        const CLoginProgress progress{phase, step, steps};
        loginCalls_.Post([this, number, progress] { ReportLogin(number, progress); });
    };
    const auto goOn = [&job](RzResult result) { return result == RZ_OK && !job.cancelled; };

    report(CLoginProgress::kConnecting);
    RzResult result = RZ_OK;
    if (job.link->Open(job.ip.c_str(), job.port) != RZ_OK) {
        if (!job.cancelled) {
            ShowStatusString(RzStr::kSocketOpenFailed);
        }
        result = LINK_E_BROKEN;
        // The link names the address, the port and the system's reason when it has them.
        const std::string cause = job.link->FailureReason();
        job.failure =
            cause.empty() ? "no connection to " + job.ip + ":" + std::to_string(job.port) : cause;
    } else {
        job.opened = true;
    }
    if (goOn(result)) {
        report(CLoginProgress::kLoggingIn);
        result =
            RunLoginDialogue(job.link.get(), job.user.c_str(), job.password.c_str(), &job.failure);
    }
    CInstrumentIdentity identity{};
    if (goOn(result)) {
        report(CLoginProgress::kIdentifying);
        result = RunIdentification(job.link.get(), &identity);
        if (result != RZ_OK) {
            job.failure = LoginExchangeFailure(result, "while waiting for the identification");
        }
    }
    if (goOn(result)) {
        int step = 0;
        int steps = 0;
        result = PrepareConnection(job, identity, [&](int k, int n) {
            step = k;
            steps = n;
            report(CLoginProgress::kRefreshing, k, n);
        });
        if (result != RZ_OK) {
            job.failure = PreparationFailure(job.traceLink, result, step, steps);
        }
    }
    // Last, so that it is the text the log-in ends with: why the link failed or never came up.
    if (IsLinkBroken(result) && !job.cancelled) {
        if (const std::string cause = job.link->FailureReason(); !cause.empty()) {
            ShowStatusMessage(cause);
        }
    }
    job.result = result;
}

void CConnectionManager::ReportLogin(uint64_t number, const CLoginProgress& progress) {
    if (!login_ || login_->number != number || login_->cancelled || !login_->progress) {
        return;
    }
    // The handler may cancel the log-in; call a copy.
    const LoginProgressHandler handler = login_->progress;
    handler(progress);
}

void CConnectionManager::FinishLogin(uint64_t number) {
    if (!login_ || login_->number != number) {
        return;
    }
    std::unique_ptr<LoginJob> job = std::move(login_);
    // Posted after the hand-back, so this returns at once; taking the lock orders the log-in
    // thread's writes to the job before what follows.
    WaitForLoginHandBack();
    if (job->cancelled) {
        DiscardLogin(*job);
        return;
    }
    uint32_t id = 0;
    RzResult result = job->result;
    if (result == RZ_OK) {
        result = AdoptConnection(*job, &id);
    }
    if (result != RZ_OK) {
        loginFailure_ = !job->failure.empty() ? job->failure : ResultCodeName(result);
        DiscardLogin(*job);
        id = 0;
    }
    const LoginDoneHandler done = std::move(job->done);
    job.reset();
    if (done) {
        done(result, id);
    }
}

void CConnectionManager::DiscardLogin(LoginJob& job) {
    job.connection.reset();
    if (job.link && job.opened) {
        job.link->Close();
    }
    job.link.reset();
}

void CConnectionManager::CancelLogin() {
    if (!login_ || login_->cancelled) {
        return;
    }
    login_->cancelled = true;
    // Wakes the log-in thread's wait, a connect's included, and refuses any later connect; the
    // thread hands the job back, which then ends without a trace.
    login_->link->Abandon();
}

void CConnectionManager::EndLogin() {
    if (login_) {
        login_->cancelled = true;
        login_->link->Abandon();
        WaitForLoginHandBack();
        DiscardLogin(*login_);
        login_.reset();
    }
    StopLoginThread();
    loginCalls_.Clear();
}

RzResult CConnectionManager::ConnectAndLogin(const char* ip, const char* user, const char* password,
                                             uint32_t* outId, uint16_t port) {
    bool finished = false;
    RzResult result = LINK_E_GENERAL;
    uint32_t id = 0;
    const RzResult started = StartLogin(ip, user, password, port, [&](RzResult r, uint32_t newId) {
        finished = true;
        result = r;
        id = newId;
    });
    if (started != RZ_OK) {
        return started;
    }
    loginCalls_.WaitUntil([&] { return finished || !login_; });
    if (result == RZ_OK && outId != nullptr) {
        *outId = id;
    }
    return finished ? result : LINK_E_GENERAL;
}
