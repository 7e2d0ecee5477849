#include "SimServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>

#include "SimIdentity.h"
#include "SimSession.h"

namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Tells a client that it cannot be served and closes its connection. Never blocks: the line
// fits in the fresh socket's buffer, and the few bytes the client may have sent already are
// read first, so that the close does not turn into a reset that destroys the line.
void RefuseClient(int fd) {
    char sink[1024];
    for (int i = 0; i < 16 && recv(fd, sink, sizeof sink, 0) > 0; ++i) {
    }
    [[maybe_unused]] const ssize_t sent =
        send(fd, kSimBusyLine.data(), kSimBusyLine.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_RDWR);
    close(fd);
}

}  // namespace

CSimServer::CSimServer(CSimProfile profile, CSimFaults faults, CSimLimits limits)
    : instrument_(std::move(profile)),
      faults_(std::move(faults)),
      limits_(limits),
      log_(limits.requestLogCapacity) {
    RegisterIdentityCommands(dispatcher_);
}

CSimServer::~CSimServer() {
    Stop();
}

uint16_t CSimServer::Start(uint16_t port, const std::string& host) {
    if (running_) {
        lastError_ = "already running";
        return 0;
    }
    auto own = std::make_unique<CSimAcceptor>();
    if (!Listen(port, host)) {
        return 0;
    }
    if (!own->Start(&lastError_)) {
        CloseFds();
        return 0;
    }
    ownAcceptor_ = std::move(own);
    acceptor_ = ownAcceptor_.get();
    running_ = true;
    acceptor_->Add(listenFd_, [this] { return AcceptClient(); });
    return port_;
}

uint16_t CSimServer::Start(uint16_t port, const std::string& host, CSimAcceptor& acceptor) {
    if (running_) {
        lastError_ = "already running";
        return 0;
    }
    if (!Listen(port, host)) {
        return 0;
    }
    acceptor_ = &acceptor;
    running_ = true;
    acceptor_->Add(listenFd_, [this] { return AcceptClient(); });
    return port_;
}

bool CSimServer::Listen(uint16_t port, const std::string& host) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        lastError_ = "not an IPv4 address: " + host;
        return false;
    }
    int stopPipe[2];
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        lastError_ = SystemError("pipe");
        return false;
    }
    stopRead_ = stopPipe[0];
    stopWrite_ = stopPipe[1];

    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        lastError_ = SystemError("socket");
        CloseFds();
        return false;
    }
    const int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        lastError_ = SystemError(("bind " + host + ":" + std::to_string(port)).c_str());
        CloseFds();
        return false;
    }
    if (listen(listenFd_, 16) != 0) {
        lastError_ = SystemError("listen");
        CloseFds();
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        lastError_ = SystemError("getsockname");
        CloseFds();
        return false;
    }
    port_ = ntohs(bound.sin_port);
    lastError_.clear();
    return true;
}

void CSimServer::Stop() {
    if (!running_) {
        return;
    }
    // No client is taken from here on; then the stop pipe, never read, wakes every session for
    // good.
    acceptor_->Remove(listenFd_);
    if (ownAcceptor_) {
        ownAcceptor_->Stop();
        ownAcceptor_.reset();
    }
    acceptor_ = nullptr;
    const char byte = 1;
    while (write(stopWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard lock(clientsMutex_);
        for (auto& client : clients_) {
            client->thread.join();
        }
        clients_.clear();
    }
    CloseFds();
    running_ = false;
}

void CSimServer::CloseFds() {
    for (int* fd : {&listenFd_, &stopRead_, &stopWrite_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

bool CSimServer::AcceptClient() {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The pending connection stays readable; give finished sessions a moment to free
            // their descriptors instead of spinning on it.
            ReapFinishedClients();
            return false;
        }
        return true;  // the client gave up before it was taken
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ReapFinishedClients();
    std::lock_guard lock(clientsMutex_);
    TakeClient(fd);
    return true;
}

void CSimServer::TakeClient(int fd) {
    if (clients_.size() >= limits_.maxClients) {
        RefuseClient(fd);
        return;
    }
    const int session = nextSession_;
    const std::chrono::milliseconds logInTimeout(limits_.logInTimeoutMs);
    // Out of threads or memory, this client goes away and the server serves on.
    try {
        clients_.push_back(std::make_unique<Client>());
    } catch (const std::bad_alloc&) {
        RefuseClient(fd);
        return;
    }
    Client* raw = clients_.back().get();
    try {
        raw->thread = std::thread([this, raw, fd, session, logInTimeout] {
            try {
                CSimSession(fd, session, *this, logInTimeout).Run();
            } catch (const std::exception&) {
                // A session that runs out of memory ends alone; its socket closes on the way.
            }
            raw->done = true;
        });
    } catch (const std::system_error&) {
        clients_.pop_back();
        RefuseClient(fd);
        return;
    }
    ++nextSession_;
}

void CSimServer::ReapFinishedClients() {
    std::lock_guard lock(clientsMutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void CSimServer::SetFaults(CSimFaults faults) {
    std::lock_guard lock(faultsMutex_);
    faults_ = std::move(faults);
}

CSimFaults CSimServer::Faults() const {
    std::lock_guard lock(faultsMutex_);
    return faults_;
}

void CSimServer::WithInstrument(const std::function<void(CSimInstrument&)>& action) {
    std::lock_guard lock(stateMutex_);
    action(instrument_);
}

bool CSimServer::RegisterCommand(std::string key, CSimHandler handler) {
    std::lock_guard lock(stateMutex_);
    return dispatcher_.Register(std::move(key), std::move(handler));
}

std::string CSimServer::Greeting() const {
    std::lock_guard lock(stateMutex_);
    return instrument_.Profile().greeting;
}

std::optional<CSimUser> CSimServer::FindUser(std::string_view name) const {
    std::lock_guard lock(stateMutex_);
    const CSimUser* user = instrument_.FindUser(name);
    return user != nullptr ? std::optional<CSimUser>(*user) : std::nullopt;
}

std::string CSimServer::Dispatch(std::string_view request, const CSimUser& user) {
    std::lock_guard lock(stateMutex_);
    try {
        instrument_.BeginRequest(request);
        std::string answer = dispatcher_.Dispatch(request, &user, instrument_);
        instrument_.EndRequest(request, answer);
        return answer;
    } catch (const std::exception&) {
        // A handler that cannot build its answer (out of memory) fails that request only.
        return std::string(kSimErrorLine);
    }
}

void CSimServer::Record(int session, SimRequestPhase phase, std::string_view text) {
    log_.Add(session, phase, text);
}
