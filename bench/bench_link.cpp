// Exchanges through the console's link against rzsim, each beside the same exchanges made with
// a bare socket in the same run. The figures that matter are the ratios printed at the end.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "SimProfile.h"
#include "SimServer.h"
#include "link/ConnectionManager.h"
#include "link/LinkSocket.h"
#include "link/LoginDialogue.h"

namespace {

constexpr const char* kUser = "admin";
constexpr const char* kPassword = "rzadmin";
// A request whose answer is one status line.
constexpr const char* kStatusRequest = "ZZ";

CSimServer& Server() {
    static std::unique_ptr<CSimServer> server = [] {
        CSimProfile profile;
        std::string error;
        if (!LoadSimProfile("full", &profile, &error)) {
            throw std::runtime_error("cannot load profile: " + error);
        }
        auto s = std::make_unique<CSimServer>(profile);
        if (s->Start(0) == 0) {
            throw std::runtime_error("cannot start rzsim: " + s->LastError());
        }
        return s;
    }();
    return *server;
}

// A bare blocking client: the physical yardstick.
class BareClient {
  public:
    explicit BareClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            throw std::runtime_error("connect failed");
        }
    }
    ~BareClient() { close(fd_); }

    void SendLine(const std::string& text) {
        const std::string line = text + "\r\n";
        if (send(fd_, line.data(), line.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(line.size())) {
            throw std::runtime_error("send failed");
        }
    }
    // Reads until the buffer ends with `terminator`.
    void ReadUntil(const char* terminator) {
        const size_t n = std::strlen(terminator);
        size_t got = 0;
        for (;;) {
            const ssize_t r = recv(fd_, buffer_ + got, sizeof buffer_ - got, 0);
            if (r <= 0) {
                throw std::runtime_error("peer closed");
            }
            got += static_cast<size_t>(r);
            if (got >= n && std::memcmp(buffer_ + got - n, terminator, n) == 0) {
                return;
            }
        }
    }
    void Login() {
        ReadUntil("\r\n");
        SendLine(kUser);
        ReadUntil("\r\n");
        SendLine(kPassword);
        ReadUntil("\r\n");
    }

  private:
    int fd_ = -1;
    char buffer_[65536];
};

void BM_RawSocketStatusRoundTrip(benchmark::State& state) {
    BareClient client(Server().Port());
    client.Login();
    for (auto _ : state) {
        client.SendLine(kStatusRequest);
        client.ReadUntil("\r\n");
    }
}
BENCHMARK(BM_RawSocketStatusRoundTrip)->UseRealTime();

void BM_LinkSocketStatusExchange(benchmark::State& state) {
    CLinkSocket link;
    char address[64];
    std::snprintf(address, sizeof address, "IP:127.0.0.1;PORT:%u", Server().Port());
    link.SetMode(RECV_LINE);
    if (link.Open(address) != RZ_OK || RunLoginDialogue(&link, kUser, kPassword) != RZ_OK) {
        state.SkipWithError("log-in failed");
        return;
    }
    static char answer[32768 + 1];
    for (auto _ : state) {
        uint32_t length = 0;
        if (link.Send(kStatusRequest, 2, RECV_LIST) != RZ_OK ||
            link.Receive(answer, 32768, &length) != RZ_OK) {
            state.SkipWithError("exchange failed");
            return;
        }
    }
    link.Close();
}
BENCHMARK(BM_LinkSocketStatusExchange)->UseRealTime();

void BM_BareLoginIdentify(benchmark::State& state) {
    for (auto _ : state) {
        BareClient client(Server().Port());
        client.Login();
        client.SendLine("_C");
        client.ReadUntil("EN\r\n");
        client.SendLine("ZSPID_AUX?");
        client.ReadUntil("EN\r\n");
    }
}
BENCHMARK(BM_BareLoginIdentify)->UseRealTime();

void BM_ConsoleLoginIdentify(benchmark::State& state) {
    CConnectionManager manager;
    manager.Init();
    for (auto _ : state) {
        uint32_t id = 0;
        if (manager.ConnectAndLogin("127.0.0.1", kUser, kPassword, &id, Server().Port()) != RZ_OK) {
            state.SkipWithError("log-in failed");
            return;
        }
        manager.CloseConnection(id);
    }
}
BENCHMARK(BM_ConsoleLoginIdentify)->UseRealTime();

}  // namespace
