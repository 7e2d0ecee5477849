#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FramingBytes.h"
#include "LoopbackPeer.h"
#include "platform/Event.h"
#include "transport/LinkSocket.h"

namespace {

constexpr uint32_t kCapacity = 32768;

struct Answer {
    RzResult result = RZ_OK;
    std::string text;
};

// Reads one answer; the text holds the reported length of bytes, checked for its NUL.
Answer ReceiveAnswer(CLinkSocket& link, uint32_t capacity = kCapacity) {
    std::vector<char> buffer(capacity + 1, '#');
    uint32_t length = 0;
    Answer answer;
    answer.result = link.Receive(buffer.data(), capacity, &length);
    if (answer.result == RZ_OK) {
        EXPECT_LE(length, capacity);
        EXPECT_EQ(buffer[length], '\0') << "a NUL follows the answer";
        answer.text.assign(buffer.data(), length);
    }
    return answer;
}

Answer Exchange(CLinkSocket& link, const std::string& request, int32_t mode,
                uint32_t capacity = kCapacity) {
    const RzResult sent = link.Send(request.data(), static_cast<uint32_t>(request.size()), mode);
    if (sent != RZ_OK) {
        return {sent, ""};
    }
    return ReceiveAnswer(link, capacity);
}

std::unique_ptr<CLinkSocket> Connected(const CLoopbackPeer& peer) {
    auto link = std::make_unique<CLinkSocket>();
    EXPECT_EQ(link->Open(peer.Address().c_str()), RZ_OK);
    return link;
}

std::string Name(RzResult code) {
    return ResultCodeName(code);
}

}  // namespace

TEST(LinkSocket, ConnectWithoutHostCreatesNoSocket) {
    const int before = OpenDescriptorCount();
    auto link = std::make_unique<CLinkSocket>();
    EXPECT_EQ(Name(link->Connect()), Name(LINK_E_NOT_INITIALIZED));
    EXPECT_EQ(Name(link->Open("PORT:34260")), Name(LINK_E_NOT_INITIALIZED));
    EXPECT_EQ(link->Port(), 34260);
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_FALSE(link->IsConnected());
}

TEST(LinkSocket, ExchangesNeedAnOpenLink) {
    CLoopbackPeer peer([](CPeerSession& s) { s.ReadToEnd(); });
    struct Case {
        const char* name;
        bool connectFirst;
    };
    const Case cases[] = {{"never connected", false}, {"closed again", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto link = std::make_unique<CLinkSocket>();
        if (c.connectFirst) {
            ASSERT_EQ(link->Open(peer.Address().c_str()), RZ_OK);
            EXPECT_EQ(link->Close(), RZ_OK);
            EXPECT_EQ(link->Close(), RZ_OK);  // twice is harmless
        }
        char buffer[16];
        uint32_t length = 99;
        EXPECT_EQ(Name(link->Send("FM", 2, RECV_LIST)), Name(LINK_E_NOT_OPEN));
        EXPECT_EQ(Name(link->Receive(buffer, 15, &length)), Name(LINK_E_NOT_OPEN));
        EXPECT_EQ(length, 99u);
    }
}

TEST(LinkSocket, ConnectFailuresCloseTheSocket) {
    CSilentListener listener;
    const std::string refused = std::to_string(UnusedLoopbackPort());
    const std::string listening = std::to_string(listener.Port());
    struct Case {
        std::string address;
        RzResult result;
    };
    const Case cases[] = {
        {"IP:127.0.0.1;PORT:" + refused, LINK_E_OPEN},
        {"IP:localhost;PORT:" + listening, LINK_E_OPEN},
        {"IP:127.0.0;PORT:" + listening, LINK_E_OPEN},
        {"IP:::1;PORT:" + listening, LINK_E_OPEN},
        {"IP:127.0.0.1 ;PORT:" + listening, LINK_E_OPEN},
        {"IP:1.2.3.256;PORT:" + listening, LINK_E_OPEN},
        {"IP:127.0.0.1;PORT:" + listening, RZ_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const int before = OpenDescriptorCount();
        {
            auto link = std::make_unique<CLinkSocket>();
            EXPECT_EQ(Name(link->Open(c.address.c_str())), Name(c.result));
            EXPECT_EQ(link->IsConnected(), c.result == RZ_OK);
            if (c.result != RZ_OK) {
                EXPECT_EQ(OpenDescriptorCount(), before) << "a failed connect keeps no socket";
                EXPECT_EQ(Name(link->Send("FM", 2, RECV_LIST)), Name(LINK_E_NOT_OPEN));
            } else {
                const int open = OpenDescriptorCount();
                EXPECT_GT(open, before);
                EXPECT_EQ(link->Connect(), RZ_OK);  // already connected: nothing new
                EXPECT_EQ(OpenDescriptorCount(), open);
            }
        }
        EXPECT_EQ(OpenDescriptorCount(), before) << "the destructor closes the link";
    }
}

TEST(LinkSocket, OpenTakesHostAndPortFromTheAddressText) {
    CSilentListener listener;
    const int32_t p = listener.Port();
    const int32_t q = UnusedLoopbackPort();
    const std::string ps = std::to_string(p);
    const std::string qs = std::to_string(q);
    struct Case {
        std::string first;  // applied before, result not checked; empty: none
        std::string address;
        RzResult result;
        std::string host;
        int32_t port;
    };
    const Case cases[] = {
        {"", "IP:127.0.0.1;PORT:" + ps, RZ_OK, "127.0.0.1", p},
        {"", "PORT:" + ps + ";IP:127.0.0.1", RZ_OK, "127.0.0.1", p},
        {"", "IP:127.0.0.1;PORT:" + qs, LINK_E_OPEN, "127.0.0.1", q},
        {"IP:127.0.0.1;PORT:" + qs, "PORT:" + ps, RZ_OK, "127.0.0.1", p},
        {"IP:127.0.0.1;PORT:" + qs, "IP:;PORT:" + ps, RZ_OK, "127.0.0.1", p},
        {"IP:127.0.0.1;PORT:" + qs, "IP:127.0.0.2", LINK_E_OPEN, "127.0.0.2", q},
        {"IP:127.0.0.1;PORT:" + qs, "IP:127.0.0.2;PORT:", LINK_E_OPEN, "127.0.0.2", q},
        {"IP:127.0.0.1;PORT:" + qs, "IP:127.100.100.100", LINK_E_OPEN, "127.100.100.100", q},
        {"IP:127.0.0.1;PORT:" + qs, "IP:127.100.100.1000;PORT:" + ps, LINK_E_OPEN, "127.0.0.1", q},
        {"", "IP:127.0.0.1;PORT:70000", LINK_E_OPEN, "", 0},
        {"", "IP:127.0.0.1;PORT:12ab", LINK_E_OPEN, "", 0},
        {"", "IP:127.0.0.1;PORT:-5", LINK_E_OPEN, "", 0},
        {"", "IP:localhost;PORT:" + ps, LINK_E_OPEN, "localhost", p},
        {"", "IP:127.0.0.1", LINK_E_OPEN, "127.0.0.1", 0},
        {"", "", LINK_E_NOT_INITIALIZED, "", 0},
        {"", "IP=127.0.0.1", LINK_E_NOT_INITIALIZED, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("first '" + c.first + "' then '" + c.address + "'");
        auto link = std::make_unique<CLinkSocket>();
        if (!c.first.empty()) {
            link->Open(c.first.c_str());
        }
        EXPECT_EQ(Name(link->Open(c.address.c_str())), Name(c.result));
        EXPECT_STREQ(link->Host(), c.host.c_str());
        EXPECT_EQ(link->Port(), c.port);
    }
}

TEST(LinkSocket, AnswersArriveWholePerReceiveMode) {
    const std::string p1 = Pattern(3000, 1);
    const std::string p2 = Pattern(10, 2);
    const std::string p3 = Pattern(700, 3);
    const std::string blocks =
        BinaryBlock(p1, false) + BinaryBlock(p2, false) + BinaryBlock(p3, true);
    const std::string record = "EB\r\n" + Pattern(44, 4);
    struct Case {
        const char* name;
        int32_t mode;
        uint32_t expectedLength;
        std::vector<std::string> writes;  // the peer's answer, one send each
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"fixed status line counts its NUL",
         RECV_FIXED,
         48,
         {"E0\r\n"},
         std::string("E0\r\n\0", 5)},
        {"line", RECV_LINE, 0, {"E1 Busy", "\r\n"}, "E1 Busy\r\n"},
        {"list joined from several reads",
         RECV_LIST,
         0,
         {"EA\r\n0", "01,AB,,CD\r\n", "E", "N\r\n"},
         "EA\r\n001,AB,,CD\r\nEN\r\n"},
        {"fixed 48", RECV_FIXED, 48, {record.substr(0, 20), record.substr(20)}, record},
        {"binary blocks cut anywhere",
         RECV_BINARY,
         0,
         {blocks.substr(0, 5), blocks.substr(5, 3010), blocks.substr(3015)},
         p1 + p2 + p3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string request;
        CLoopbackPeer peer([&](CPeerSession& s) {
            if (s.ReadLine(&request)) {
                for (const auto& w : c.writes) {
                    s.Write(w);
                }
                s.ReadToEnd();
            }
        });
        auto link = Connected(peer);
        EXPECT_EQ(link->SetExpectedLength(c.expectedLength), c.expectedLength);
        const Answer answer = Exchange(*link, "FX 1,2", c.mode);
        EXPECT_EQ(Name(answer.result), Name(RZ_OK));
        EXPECT_EQ(answer.text, c.answer);
        EXPECT_EQ(link->GetMode(), c.mode);
        link->Close();
        peer.Join();
        EXPECT_EQ(request, "FX 1,2");
    }
}

TEST(LinkSocket, BytesAfterACompleteAnswerBelongToTheNextOne) {
    CLoopbackPeer peer([](CPeerSession& s) {
        std::string line;
        if (s.ReadLine(&line)) {
            s.Write("E0\r\nE1\r\n" + BinaryBlock("img", true) + "E3\r\n");
        }
        s.ReadToEnd();
    });
    auto link = Connected(peer);
    EXPECT_EQ(Exchange(*link, "Q1", RECV_LINE).text, "E0\r\n");
    EXPECT_EQ(Exchange(*link, "Q2", RECV_LINE).text, "E1\r\n");
    EXPECT_EQ(Exchange(*link, "Q3", RECV_BINARY).text, "img");
    EXPECT_EQ(Exchange(*link, "Q4", RECV_LIST).text, "E3\r\n");
}

TEST(LinkSocket, ReceiveWithoutSendReadsTheGreeting) {
    CLoopbackPeer peer([](CPeerSession& s) {
        s.Write("Input username.\r\n");
        s.ReadToEnd();
    });
    auto link = std::make_unique<CLinkSocket>();
    EXPECT_EQ(link->GetMode(), RECV_LIST);
    EXPECT_EQ(link->GetTimeout(), kDefaultLinkTimeoutMs);
    link->SetMode(RECV_LINE);
    ASSERT_EQ(link->Open(peer.Address().c_str()), RZ_OK);
    const Answer greeting = ReceiveAnswer(*link, 200);
    EXPECT_EQ(Name(greeting.result), Name(RZ_OK));
    EXPECT_EQ(greeting.text, "Input username.\r\n");
}

TEST(LinkSocket, TooSmallBufferFailsButFreesTheLink) {
    CLoopbackPeer peer([](CPeerSession& s) {
        std::string line;
        if (s.ReadLine(&line)) {
            s.Write("E0 a long answer\r\nE9\r\n");
        }
        s.ReadToEnd();
    });
    auto link = Connected(peer);
    EXPECT_EQ(Name(Exchange(*link, "Q1", RECV_LINE, 4).result), Name(LINK_E_BUFFER_SMALL));
    EXPECT_FALSE(link->IsFailed());
    // Another thread gets the link (it would wait into its time-out if the link were held).
    link->SetTimeout(5000);
    auto other = std::async(std::launch::async, [&] { return ReceiveAnswer(*link); });
    const Answer next = other.get();
    EXPECT_EQ(Name(next.result), Name(RZ_OK));
    EXPECT_EQ(next.text, "E9\r\n");
}

TEST(LinkSocket, AnswerWithNoBytesIsASendFailureAndFreesTheLink) {
    CLoopbackPeer peer([](CPeerSession& s) {
        std::string line;
        if (s.ReadLine(&line)) {
            s.Write(BinaryBlock("", true));
        }
        if (s.ReadLine(&line)) {
            s.Write("E0\r\n");
        }
        s.ReadToEnd();
    });
    auto link = Connected(peer);
    EXPECT_EQ(Name(Exchange(*link, "FW", RECV_BINARY).result), Name(LINK_E_SEND));
    EXPECT_FALSE(link->IsFailed());
    link->SetTimeout(5000);
    auto other = std::async(std::launch::async, [&] { return Exchange(*link, "Q", RECV_LIST); });
    EXPECT_EQ(other.get().text, "E0\r\n");
}

TEST(LinkSocket, TimeOutBreaksTheLinkUntilReconnected) {
    const std::string record = Pattern(48, 5);
    std::vector<std::string> seen;  // everything each connection received
    CLoopbackPeer peer([&](CPeerSession& s) {
        std::string line;
        if (s.Index() == 0 && s.ReadLine(&line)) {
            seen.push_back(line);
            s.Write(record.substr(0, 47));
        }
        if (s.Index() == 1 && s.ReadLine(&line)) {
            seen.push_back(line);
            s.Write(record);
        }
        seen.push_back(s.ReadToEnd());
    });
    auto link = Connected(peer);
    link->SetTimeout(200);
    link->SetExpectedLength(48);
    EXPECT_EQ(Name(Exchange(*link, "FO", RECV_FIXED).result), Name(LINK_E_TIMEOUT));
    EXPECT_TRUE(link->IsFailed());
    EXPECT_TRUE(link->IsConnected());
    EXPECT_EQ(Name(link->Send("FO", 2, RECV_FIXED)), Name(LINK_E_BROKEN));
    EXPECT_EQ(Name(ReceiveAnswer(*link).result), Name(LINK_E_TIMEOUT));
    EXPECT_EQ(link->Connect(), RZ_OK);  // connected in name: nothing happens
    EXPECT_EQ(Name(link->Send("FO", 2, RECV_FIXED)), Name(LINK_E_BROKEN));

    link->Close();
    ASSERT_EQ(link->Connect(), RZ_OK);
    EXPECT_FALSE(link->IsFailed());
    const Answer answer = Exchange(*link, "FO", RECV_FIXED);
    EXPECT_EQ(Name(answer.result), Name(RZ_OK));
    EXPECT_EQ(answer.text, record);
    link->Close();
    peer.Join();
    // The broken link sent nothing after the first request.
    EXPECT_EQ(seen, (std::vector<std::string>{"FO", "", "FO", ""}));
}

TEST(LinkSocket, LostStreamFailsTheWaitingReceiveAtOnce) {
    struct Case {
        const char* name;
        int32_t mode;
        std::string partial;  // sent before the peer closes
        bool closeBeforeRequest;
    };
    const Case cases[] = {
        {"close mid-block", RECV_BINARY, BinaryBlock(Pattern(500, 1), true).substr(0, 300), false},
        {"close before any answer", RECV_LIST, "", false},
        {"closed while idle", RECV_LINE, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CEvent closed;
        CLoopbackPeer peer([&](CPeerSession& s) {
            std::string line;
            if (c.closeBeforeRequest || s.ReadLine(&line)) {
                s.Write(c.partial);
            }
            s.Close();
            closed.Set();
        });
        auto link = Connected(peer);
        ASSERT_EQ(link->GetTimeout(), kDefaultLinkTimeoutMs);
        if (c.closeBeforeRequest) {
            closed.Wait();
        }
        // The time-out is 10 s; a peer close must not wait for it.
        EXPECT_EQ(Name(Exchange(*link, "FD0,1,212", c.mode).result), Name(LINK_E_BROKEN));
        EXPECT_TRUE(link->IsFailed());
        EXPECT_TRUE(link->IsConnected());
        EXPECT_EQ(Name(link->Send("FD0,1,212", 9, c.mode)), Name(LINK_E_BROKEN));
    }
}

TEST(LinkSocket, UnframeableAnswersBreakTheLink) {
    struct Case {
        const char* name;
        int32_t mode;
        std::string answer;
    };
    const Case cases[] = {
        {"line longer than the receive area", RECV_LINE, std::string(kReceiveAreaSize + 1, 'x')},
        {"block length below 6", RECV_BINARY, BlockHeader(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackPeer peer([&](CPeerSession& s) {
            std::string line;
            if (s.ReadLine(&line)) {
                s.Write(c.answer);
            }
            s.ReadToEnd();
        });
        auto link = Connected(peer);
        EXPECT_EQ(Name(Exchange(*link, "FC GET", c.mode).result), Name(LINK_E_BROKEN));
        EXPECT_TRUE(link->IsFailed());
        EXPECT_EQ(Name(link->Send("FC GET", 6, c.mode)), Name(LINK_E_BROKEN));
    }
}

TEST(LinkSocket, ImageSizedBinaryAnswersAssembleBlockByBlock) {
    std::string answer;
    std::string image;
    for (uint32_t at = 0; at < 1228800; at += 100000) {
        const std::string part = Pattern(std::min<uint32_t>(100000, 1228800 - at), at);
        image += part;
        answer += BinaryBlock(part, at + 100000 >= 1228800);
    }
    CLoopbackPeer peer([&](CPeerSession& s) {
        std::string line;
        while (s.ReadLine(&line)) {
            s.Write(answer);
        }
    });
    auto link = Connected(peer);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const Answer got = Exchange(*link, "FC GET", RECV_BINARY, 1228800);
        EXPECT_EQ(Name(got.result), Name(RZ_OK));
        EXPECT_EQ(got.text.size(), image.size());
        EXPECT_TRUE(got.text == image);
    }
    EXPECT_EQ(Name(Exchange(*link, "FC GET", RECV_BINARY, 1228799).result),
              Name(LINK_E_BUFFER_SMALL));
}

TEST(LinkSocket, RequestsGetCrLfAndLongOnesAreRefused) {
    std::vector<std::string> lines;
    CLoopbackPeer peer([&](CPeerSession& s) {
        std::string line;
        while (s.ReadLine(&line)) {
            lines.push_back(line);
            s.Write("E0\r\n");
        }
    });
    auto link = Connected(peer);
    const std::string longest(CLinkSocket::kMaxRequestLength, 'a');
    const std::string tooLong(CLinkSocket::kMaxRequestLength + 1, 'b');
    struct Case {
        std::string request;
        RzResult result;
    };
    const Case cases[] = {
        {tooLong, LINK_E_PARAMETER}, {longest, RZ_OK}, {"", RZ_OK}, {"UD 1,", RZ_OK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.size());
        EXPECT_EQ(Name(Exchange(*link, c.request, RECV_LINE).result), Name(c.result));
    }
    EXPECT_FALSE(link->IsFailed());
    link->Close();
    peer.Join();
    EXPECT_EQ(lines, (std::vector<std::string>{longest, "", "UD 1,"}));
}

TEST(LinkSocket, ConcurrentExchangesAreSerialised) {
    std::atomic<int> answered{0};
    std::atomic<bool> overlapped{false};
    CLoopbackPeer peer([&](CPeerSession& s) {
        std::string line;
        while (s.ReadLine(&line)) {
            // A request already queued behind this one means two exchanges overlapped.
            if (s.HasInput()) {
                overlapped = true;
            }
            ++answered;
            s.Write("E0 " + line + "\r\n");
        }
    });
    auto link = Connected(peer);
    constexpr int kRounds = 300;
    auto worker = [&](char who) {
        int wrong = 0;
        for (int i = 0; i < kRounds; ++i) {
            const std::string request = std::string(1, who) + std::to_string(i);
            const Answer a = Exchange(*link, request, who == 'A' ? RECV_LINE : RECV_LIST);
            if (a.result != RZ_OK || a.text != "E0 " + request + "\r\n") {
                ++wrong;
            }
        }
        return wrong;
    };
    auto a = std::async(std::launch::async, worker, 'A');
    auto b = std::async(std::launch::async, worker, 'B');
    EXPECT_EQ(a.get(), 0);
    EXPECT_EQ(b.get(), 0);
    link->Close();
    peer.Join();
    EXPECT_EQ(answered.load(), 2 * kRounds);
    EXPECT_FALSE(overlapped.load());
}

TEST(LinkSocket, ReceiveOnAnotherThreadWaitsForTheOwnersAnswer) {
    CLoopbackPeer peer([](CPeerSession& s) {
        std::string line;
        if (s.ReadLine(&line)) {
            s.Write("A1\r\nA2\r\n");
        }
        s.ReadToEnd();
    });
    auto link = Connected(peer);
    ASSERT_EQ(link->Send("Q1", 2, RECV_LINE), RZ_OK);
    auto other = std::async(std::launch::async, [&] { return ReceiveAnswer(*link); });
    EXPECT_EQ(ReceiveAnswer(*link).text, "A1\r\n");
    EXPECT_EQ(other.get().text, "A2\r\n");
}

TEST(LinkSocket, CloseEndsAReceiveWaitingOnAnotherThread) {
    CEvent requested;
    CLoopbackPeer peer([&](CPeerSession& s) {
        std::string line;
        if (s.ReadLine(&line)) {
            requested.Set();
        }
        s.ReadToEnd();
    });
    auto link = Connected(peer);
    auto waiting = std::async(std::launch::async, [&] { return Exchange(*link, "FM", RECV_LIST); });
    requested.Wait();
    EXPECT_EQ(link->Close(), RZ_OK);
    // The time-out is 10 s; the close must end the wait, not the time-out.
    EXPECT_EQ(Name(waiting.get().result), Name(LINK_E_NOT_OPEN));
    EXPECT_FALSE(link->IsConnected());
}
