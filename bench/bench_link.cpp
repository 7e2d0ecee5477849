// Exchanges through the console's link against rzsim, each beside the same exchanges made with
// a bare socket in the same run. The figures that matter are the ratios printed at the end.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchSim.h"
#include "SimServer.h"
#include "session/LoginDialogue.h"
#include "transport/LinkSocket.h"

namespace {

// A request whose answer is one status line.
constexpr const char* kStatusRequest = "AK 0";

void BM_RawSocketStatusRoundTrip(benchmark::State& state) {
    BareClient client(BenchServer().Port());
    client.Login();
    for (auto _ : state) {
        client.SendLine(kStatusRequest);
        client.ReadUntil("\r\n");
    }
}
BENCHMARK(BM_RawSocketStatusRoundTrip)->UseRealTime();

void BM_LinkSocketStatusExchange(benchmark::State& state) {
    CLinkSocket link;
    if (link.Open("127.0.0.1", BenchServer().Port()) != RZ_OK ||
        !RunLoginDialogue(&link, kBenchUser, kBenchPassword)) {
        state.SkipWithError("log-in failed");
        return;
    }
    static char answer[32768 + 1];
    for (auto _ : state) {
        if (link.Send(kStatusRequest, 4) != RZ_OK || !link.Receive(answer, 32768, RECV_LINE)) {
            state.SkipWithError("exchange failed");
            return;
        }
    }
    link.Close();
}
BENCHMARK(BM_LinkSocketStatusExchange)->UseRealTime();

void BM_BareLoginIdentify(benchmark::State& state) {
    for (auto _ : state) {
        BareClient client(BenchServer().Port());
        client.Login();
        client.SendLine("_C");
        client.ReadUntil("EN\r\n");
        client.SendLine("ZSPID_AUX?");
        client.ReadUntil("EN\r\n");
    }
}
BENCHMARK(BM_BareLoginIdentify)->UseRealTime();

// The console's log-in dialogue and identification over its own link (connection start, with
// its full refresh, is measured in bench_refresh.cpp).
void BM_ConsoleLoginIdentify(benchmark::State& state) {
    for (auto _ : state) {
        CLinkSocket link;
        if (link.Open("127.0.0.1", BenchServer().Port()) != RZ_OK ||
            !RunLoginDialogue(&link, kBenchUser, kBenchPassword) || !RunIdentification(&link)) {
            state.SkipWithError("log-in failed");
            return;
        }
        link.Close();
    }
}
BENCHMARK(BM_ConsoleLoginIdentify)->UseRealTime();

}  // namespace
