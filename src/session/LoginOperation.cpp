// The log-in as an operation of the connection manager: it runs on the manager's log-in thread,
// reports its progress and its result to the GUI thread, and can be cancelled at any point.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Strings.h"
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

RzExpected<void> CConnectionManager::StartLogin(const char* ip, const char* user,
                                                const char* password, uint16_t port,
                                                LoginDoneHandler done,
                                                LoginProgressHandler progress) {
    if (!initialised_) {
        return RzError(LINK_E_NOT_INITIALIZED);
    }
    if (login_ && login_->cancelled) {
        // A cancelled log-in's link is abandoned, so its thread is on its way back; the new one
        // need not wait for the event loop to hear of it.
        WaitForLoginHandBack();
        DiscardLogin(*login_);
        login_.reset();
    }
    if (login_) {
        return RzError(LINK_E_BUSY, {}, {"Log-in is still running"});
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
        return RzError(LINK_E_NO_MEMORY, {}, {RzString(RzStr::kOutOfMemory)});
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
            return RzError(LINK_E_GENERAL);
        }
    }
    {
        std::lock_guard lock(loginMutex_);
        loginQueued_ = job.get();
        loginBusy_ = true;
    }
    loginCv_.notify_all();
    login_ = std::move(job);
    return {};
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
    // Why it failed, in the operator's words, and the messages the failure brought.
    std::string failure;
    std::vector<std::string> messages;
    if (job.link->Open(job.ip.c_str(), job.port) != RZ_OK) {
        if (!job.cancelled) {
            messages.emplace_back(RzString(RzStr::kSocketOpenFailed));
        }
        result = LINK_E_BROKEN;
        // The link names the address, the port and the system's reason when it has them.
        const std::string cause = job.link->FailureReason();
        failure =
            cause.empty() ? "no connection to " + job.ip + ":" + std::to_string(job.port) : cause;
    } else {
        job.opened = true;
    }
    const auto take = [&](RzError& error) {
        result = error.code;
        failure = std::move(error.text);
        messages.insert(messages.end(), error.messages.begin(), error.messages.end());
    };
    if (goOn(result)) {
        report(CLoginProgress::kLoggingIn);
        if (RzExpected<void> dialogue =
                RunLoginDialogue(job.link.get(), job.user.c_str(), job.password.c_str());
            !dialogue) {
            take(dialogue.error());
        }
    }
    CInstrumentIdentity identity{};
    if (goOn(result)) {
        report(CLoginProgress::kIdentifying);
        if (RzExpected<CInstrumentIdentity> identified = RunIdentification(job.link.get())) {
            identity = *identified;
        } else {
            result = identified.code();
            failure = LoginExchangeFailure(result, "while waiting for the identification");
        }
    }
    if (goOn(result)) {
        int step = 0;
        int steps = 0;
        if (RzExpected<void> prepared = PrepareConnection(job, identity,
                                                          [&](int k, int n) {
                                                              step = k;
                                                              steps = n;
                                                              report(CLoginProgress::kRefreshing, k,
                                                                     n);
                                                          });
            !prepared) {
            take(prepared.error());
            failure = PreparationFailure(job.traceLink, result, step, steps);
        }
    }
    // Last, so that it is the text the log-in ends with: why the link failed or never came up.
    if (IsLinkBroken(result) && !job.cancelled) {
        if (std::string cause = job.link->FailureReason(); !cause.empty()) {
            messages.push_back(std::move(cause));
        }
    }
    if (result != RZ_OK) {
        job.result = RzError(result, std::move(failure), std::move(messages));
    }
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
    RzExpected<uint32_t> result =
        job->result ? AdoptConnection(*job) : RzExpected<uint32_t>(std::move(job->result.error()));
    if (!result) {
        // Every failure says why in words, the code's name at least.
        RzError& error = result.error();
        if (error.text.empty()) {
            error.text = ResultCodeName(error.code);
        }
        DiscardLogin(*job);
    }
    const LoginDoneHandler done = std::move(job->done);
    job.reset();
    if (done) {
        done(result);
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

RzExpected<uint32_t> CConnectionManager::ConnectAndLogin(const char* ip, const char* user,
                                                         const char* password, uint16_t port) {
    std::optional<RzExpected<uint32_t>> result;
    RzExpected<void> started =
        StartLogin(ip, user, password, port, [&](const RzExpected<uint32_t>& r) { result = r; });
    if (!started) {
        return std::move(started.error());
    }
    loginCalls_.WaitUntil([&] { return result.has_value() || !login_; });
    if (!result) {
        return RzError(LINK_E_GENERAL);
    }
    return std::move(*result);
}
