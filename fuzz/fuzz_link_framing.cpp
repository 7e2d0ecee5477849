// Answer framing over arbitrary bytes in arbitrary chunking. The first four bytes choose the
// receive mode, the expected length of a fixed answer and the chunk sizes; the rest is the stream.
// Every completed answer restarts the framing on the bytes that follow, as the link does.
//
// Checks: no access outside the receive area (ASan), consumed counts within what was offered,
// received within the area except for a complete binary payload, and the same answers and block
// counts whether the stream arrives in chunks or at once. Each complete answer is also
// summarised as the communication trace shows it.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "session/ExchangeTrace.h"
#include "transport/LinkFraming.h"

namespace {

struct Result {
    FrameStatus status;
    std::string answer;
    size_t consumed;
    uint32_t blocks = 0;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Runs the stream through `framing` in chunks of 1..`largest` bytes (0: all at once).
std::vector<Result> RunStream(CLinkFraming& framing, int32_t mode, uint32_t expected,
                              const uint8_t* data, size_t size, uint32_t seed, size_t largest) {
    std::vector<Result> results;
    framing.Reset();
    framing.SetMode(mode);
    framing.SetExpectedLength(expected);
    size_t offset = 0;
    size_t consumedInAnswer = 0;
    while (offset < size) {
        size_t chunk = size - offset;
        if (largest != 0) {
            seed = seed * 1103515245u + 12345u;
            chunk = std::min<size_t>(chunk, 1 + (seed >> 16) % largest);
        }
        size_t at = offset;
        const size_t end = offset + chunk;
        while (at < end) {
            const size_t offered = end - at;
            const auto [status, used] =
                framing.Feed(reinterpret_cast<const char*>(data) + at, offered);
            Check(used <= offered);
            at += used;
            consumedInAnswer += used;
            if (status == FrameStatus::kIncomplete) {
                Check(used == offered);
                Check(framing.Received() <= kReceiveAreaSize);
                break;
            }
            Result r{status, std::string(), consumedInAnswer};
            if (status == FrameStatus::kComplete) {
                const uint32_t received = framing.Received();
                if (mode == RECV_BINARY) {
                    Check(received == framing.Payload().Size());
                } else {
                    Check(received <= kReceiveAreaSize + 1);
                    Check(received <= consumedInAnswer + 1);
                }
                if (received != 0) {
                    r.answer.assign(framing.Answer(), received);
                }
                r.blocks = framing.Blocks();
                const std::string summary =
                    SummariseAnswer(r.answer.data(), r.answer.size(), mode, r.blocks);
                Check(summary.size() <= r.answer.size() + 40);
            }
            results.push_back(std::move(r));
            if (status != FrameStatus::kComplete) {
                return results;  // the stream cannot be framed any further
            }
            framing.Reset();
            consumedInAnswer = 0;
        }
        offset = end;
    }
    results.push_back({framing.Status(), std::string(), consumedInAnswer});
    return results;
}

bool Same(const std::vector<Result>& a, const std::vector<Result>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].status != b[i].status || a[i].answer != b[i].answer ||
            a[i].consumed != b[i].consumed || a[i].blocks != b[i].blocks) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    static auto* chunked = new CLinkFraming;
    static auto* whole = new CLinkFraming;
    const int32_t mode = data[0] % 5;  // 4: a mode that never completes
    const uint32_t expected = (uint32_t{data[1]} << 8 | data[2]) << ((data[0] >> 4) & 3);
    const size_t largest = 1 + data[3] % 64;
    const uint32_t seed = data[3];
    data += 4;
    size -= 4;
    const auto inChunks = RunStream(*chunked, mode, expected, data, size, seed, largest);
    const auto atOnce = RunStream(*whole, mode, expected, data, size, 0, 0);
    Check(Same(inChunks, atOnce));
    return 0;
}
