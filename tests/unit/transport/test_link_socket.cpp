#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FramingBytes.h"
#include "LoopbackPeer.h"
#include "common/FullBacklog.h"
#include "platform/Event.h"
#include "transport/LinkSocket.h"

namespace {

constexpr uint32_t kCapacity = 32768;

struct Answer {
    RzResult result = RZ_OK;
    std::string text;
};

// Reads one answer; the text holds the reported length of bytes, checked for its NUL.
Answer ReceiveAnswer(CLinkSocket& link, AnswerShape shape, uint32_t capacity = kCapacity) {
    std::vector<char> buffer(capacity + 1, '#');
    const RzExpected<uint32_t> length = link.Receive(buffer.data(), capacity, shape);
    Answer answer;
    answer.result = length.code();
    if (length) {
        EXPECT_LE(*length, capacity);
        EXPECT_EQ(buffer[*length], '\0') << "a NUL follows the answer";
        answer.text.assign(buffer.data(), *length);
    }
    return answer;
}

Answer Exchange(CLinkSocket& link, const std::string& request, AnswerShape shape,
                uint32_t capacity = kCapacity) {
    const RzResult sent = link.Send(request.data(), static_cast<uint32_t>(request.size()));
    if (sent != RZ_OK) {
        return {sent, ""};
    }
    return ReceiveAnswer(link, shape, capacity);
}

std::unique_ptr<CLinkSocket> Connected(const CLoopbackPeer& peer) {
    auto link = std::make_unique<CLinkSocket>();
    EXPECT_EQ(link->Open("127.0.0.1", peer.Port()), RZ_OK);
    return link;
}

// A peer answering its n-th request line with answers[n] (nothing once they run out).
std::function<void(CPeerSession&)> Answering(std::vector<std::string> answers,
                                             std::vector<std::string>* requests = nullptr) {
    return [answers = std::move(answers), requests](CPeerSession& s) {
        std::string line;
        for (size_t n = 0; s.ReadLine(&line); ++n) {
            if (requests != nullptr) {
                requests->push_back(line);
            }
            if (n < answers.size()) {
                s.Write(answers[n]);
            }
        }
    };
}

std::string Name(RzResult code) {
    return ResultCodeName(code);
}

}  // namespace

TEST(LinkSocket, ConnectFailuresCloseTheSocket) {
    EXPECT_EQ(Name(CLinkSocket().Connect()), Name(LINK_E_NOT_INITIALIZED));  // no host yet
    CSilentListener listener;
    const uint16_t refused = UnusedLoopbackPort();
    const uint16_t listening = listener.Port();
    const std::string at = ":" + std::to_string(listening) + ": ";
    struct Case {
        const char* host;
        uint16_t port;
        RzResult result;
        std::string reason;  // the failure reason, with the address and the system's words
    };
    const Case cases[] = {
        {"127.0.0.1", refused, LINK_E_OPEN,
         "Cannot connect to 127.0.0.1:" + std::to_string(refused) + ": " +
             std::strerror(ECONNREFUSED)},
        {"127.0.0.1", 0, LINK_E_OPEN,
         "Cannot connect to 127.0.0.1:0: not a dotted IPv4 address and port"},
        {"localhost", listening, LINK_E_OPEN,
         "Cannot connect to localhost" + at + "not a dotted IPv4 address and port"},
        {"", listening, LINK_E_NOT_INITIALIZED, ""},
        {nullptr, listening, LINK_E_NOT_INITIALIZED, ""},
        {"127.100.100.1000", listening, LINK_E_OPEN,  // too long to be an address
         "Cannot connect to 127.100.100.1000: not a dotted IPv4 address"},
        {"127.0.0.1", listening, RZ_OK, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host != nullptr ? c.host : "(none)") + " port " +
                     std::to_string(c.port));
        const int before = OpenDescriptorCount();
        {
            auto link = std::make_unique<CLinkSocket>();
            EXPECT_EQ(Name(link->Open(c.host, c.port)), Name(c.result));
            EXPECT_EQ(link->FailureReason(), c.reason);
            EXPECT_EQ(link->IsConnected(), c.result == RZ_OK);
            if (c.result != RZ_OK) {
                EXPECT_EQ(OpenDescriptorCount(), before) << "a failed connect keeps no socket";
                EXPECT_EQ(Name(link->Send("FM", 2)), Name(LINK_E_NOT_OPEN));
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

TEST(LinkSocket, AnswersArriveWholePerReceiveMode) {
    const std::string p1 = Pattern(3000, 1);
    const std::string p2 = Pattern(10, 2);
    const std::string p3 = Pattern(700, 3);
    const std::string blocks =
        BinaryBlock(p1, false) + BinaryBlock(p2, false) + BinaryBlock(p3, true);
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
        {"list joined from several reads",
         RECV_LIST,
         0,
         {"EA\r\n0", "01,AB,,CD\r\n", "E", "N\r\n"},
         "EA\r\n001,AB,,CD\r\nEN\r\n"},
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
        const Answer answer = Exchange(*link, "FX 1,2", {c.mode, c.expectedLength});
        EXPECT_EQ(Name(answer.result), Name(RZ_OK));
        EXPECT_EQ(answer.text, c.answer);
        link->Close();
        peer.Join();
        EXPECT_EQ(request, "FX 1,2");
    }
}

TEST(LinkSocket, TimeOutBreaksTheLinkUntilConnectedAgain) {
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
    const AnswerShape record48(RECV_FIXED, 48);
    EXPECT_EQ(Name(Exchange(*link, "FO", record48).result), Name(LINK_E_TIMEOUT));
    const std::string address = "127.0.0.1:" + std::to_string(peer.Port());
    EXPECT_EQ(link->FailureReason(), "No answer from " + address + " within 200 ms");
    EXPECT_TRUE(link->IsFailed());
    EXPECT_TRUE(link->IsConnected());
    EXPECT_EQ(Name(link->Send("FO", 2)), Name(LINK_E_BROKEN));
    EXPECT_EQ(Name(ReceiveAnswer(*link, record48).result), Name(LINK_E_TIMEOUT));

    EXPECT_EQ(link->FailureReason(), "No answer from " + address + " within 200 ms");  // the first
    // Connected in name only: connecting again replaces the failed connection.
    ASSERT_EQ(link->Connect(), RZ_OK);
    EXPECT_FALSE(link->IsFailed());
    EXPECT_EQ(link->FailureReason(), "");
    const Answer answer = Exchange(*link, "FO", record48);
    EXPECT_EQ(Name(answer.result), Name(RZ_OK));
    EXPECT_EQ(answer.text, record);
    // Opening another address leaves a working connection for a new one.
    CLoopbackPeer other(Answering({record}));
    ASSERT_EQ(link->Open("127.0.0.1", other.Port()), RZ_OK);
    EXPECT_EQ(Exchange(*link, "FO", record48).text, record);
    link->Close();
    peer.Join();
    // The broken link sent nothing after the first request.
    EXPECT_EQ(seen, (std::vector<std::string>{"FO", "", "FO", ""}));
}

// A stream that cannot go on breaks the link at once, not at the 10 s time-out: the peer closed
// it (mid-answer, before answering, while idle) or sent what cannot be framed. The link names
// the cause and refuses every later send.
TEST(LinkSocket, StreamFailuresBreakTheLinkAndNameTheirCause) {
    // Blocks, none of them the last, whose payloads add up to one byte more than the largest
    // answer: refused when that byte is announced.
    std::string endless;
    for (uint32_t at = 0; at <= kLargestAnswerSize; at += 100000) {
        endless += BinaryBlock(Pattern(std::min<uint32_t>(100000, kLargestAnswerSize + 1 - at), at),
                               false);
    }
    enum Peer { kCloses, kClosesFirst, kStaysOpen };  // after its answer, before the request
    const char* kClosed = " closed the connection";
    struct Case {
        const char* name;
        int32_t mode;
        std::string answer;
        Peer peer;
        RzResult code;
        const char* reason;  // after the peer's address
    };
    const Case cases[] = {
        {"close mid-block", RECV_BINARY, BinaryBlock(Pattern(500, 1), true).substr(0, 300), kCloses,
         LINK_E_BROKEN, kClosed},
        {"close before any answer", RECV_LIST, "", kCloses, LINK_E_BROKEN, kClosed},
        {"closed while idle", RECV_LINE, "", kClosesFirst, LINK_E_BROKEN, kClosed},
        {"line longer than the receive area", RECV_LINE, std::string(kReceiveAreaSize + 1, 'x'),
         kStaysOpen, LINK_E_BROKEN, " sent an answer longer than 102400 bytes"},
        {"block length below 6", RECV_BINARY, BlockHeader(3), kStaysOpen, LINK_E_BROKEN,
         " sent an answer of a form that cannot be read"},
        {"payload beyond the largest answer", RECV_BINARY, endless, kStaysOpen, LINK_E_FORMAT,
         " sent an answer larger than 1228800 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CEvent closed;
        CLoopbackPeer peer([&](CPeerSession& s) {
            std::string line;
            if (c.peer == kClosesFirst || s.ReadLine(&line)) {
                s.Write(c.answer);
            }
            if (c.peer == kStaysOpen) {
                s.ReadToEnd();
            } else {
                s.Close();
            }
            closed.Set();
        });
        auto link = Connected(peer);
        ASSERT_EQ(link->GetTimeout(), kDefaultLinkTimeoutMs);
        if (c.peer == kClosesFirst) {
            closed.Wait();
        }
        EXPECT_EQ(Name(Exchange(*link, "FC GET", c.mode).result), Name(c.code));
        EXPECT_EQ(link->FailureReason(), "127.0.0.1:" + std::to_string(peer.Port()) + c.reason);
        EXPECT_TRUE(link->IsFailed());
        EXPECT_TRUE(link->IsConnected());
        EXPECT_EQ(Name(link->Send("FC GET", 6)), Name(LINK_E_BROKEN));
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
    CLoopbackPeer peer(Answering({answer, answer, answer}));
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
    CLoopbackPeer peer(Answering({"E0\r\n", "E0\r\n", "E0\r\n", "E0\r\n"}, &lines));
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

// Close on another thread ends a wait at once: a receive's (the time-out is 10 s) and a
// connect's that gets no answer (it gives up after 2 s with LINK_E_OPEN). After a close the link
// connects again; an abandoned link refuses.
TEST(LinkSocket, CloseEndsAWaitOnAnotherThread) {
    CFullBacklog stalled;
    for (const std::string row : {"receive", "connect", "abandoned connect"}) {
        SCOPED_TRACE(row);
        // A peer of the row's own, joined at its end: a session that ends late would change
        // the count of open descriptors under the next row.
        CEvent requested;
        CLoopbackPeer peer([&](CPeerSession& s) {
            std::string line;
            if (s.ReadLine(&line)) {
                requested.Set();
            }
            s.ReadToEnd();
        });
        const bool receive = row == "receive";
        CLinkSocket link;
        ASSERT_EQ(receive ? link.Open("127.0.0.1", peer.Port()) : RZ_OK, RZ_OK);
        const int before = OpenDescriptorCount();
        auto waiting = std::async(std::launch::async, [&] {
            return receive ? Exchange(link, "FM", RECV_LIST).result
                           : link.Open("127.0.0.1", stalled.Port());
        });
        // Waiting once the request has arrived, or the connect's socket exists.
        while (!(receive ? requested.IsSet() : OpenDescriptorCount() != before) &&
               waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        }
        EXPECT_EQ(row == "abandoned connect" ? link.Abandon() : link.Close(), RZ_OK);
        EXPECT_EQ(Name(waiting.get()), Name(LINK_E_NOT_OPEN));
        EXPECT_FALSE(link.IsConnected());
        // A closed link exchanges nothing; closing it again is harmless.
        char buffer[16] = "untouched";
        EXPECT_EQ(Name(link.Send("FM", 2)), Name(LINK_E_NOT_OPEN));
        EXPECT_EQ(Name(link.Receive(buffer, 15, RECV_LIST).code()), Name(LINK_E_NOT_OPEN));
        EXPECT_STREQ(buffer, "untouched");
        EXPECT_EQ(link.Close(), RZ_OK);
        if (!receive) {
            EXPECT_EQ(OpenDescriptorCount(), before);
            EXPECT_EQ(Name(link.Open("127.0.0.1", peer.Port())),
                      Name(row == "connect" ? RZ_OK : LINK_E_NOT_OPEN));
        }
        link.Close();
        peer.Join();
    }
}

// After an answer refused for the caller's sake the link stays in step; after one that did not
// fit its request, the next exchange must not take what is left of it for its own answer: a
// list is read whole whatever was asked, and bytes no request asked for break the link.
TEST(LinkSocket, TheNextExchangeStartsInStepAfterAStrayAnswer) {
    const std::string list = "EA\r\nLT1,AB\r\nEN\r\n";
    struct Case {
        const char* name;
        AnswerShape shape;
        std::string first;   // the answer to the first request; the second is answered "E0"
        std::string result;  // of both exchanges: "code text|code text"
        uint32_t capacity = kCapacity;
        std::string reason = "";  // why the link failed, after its address
    };
    const Case cases[] = {
        {"buffer too small", RECV_LINE, "E0 a long answer\r\n", "LINK_E_BUFFER_SMALL |OK E0\r\n",
         4},
        {"answer with no bytes", RECV_BINARY, BinaryBlock("", true), "LINK_E_SEND |OK E0\r\n"},
        {"a list where a line was asked", RECV_LINE, list, "OK " + list + "|OK E0\r\n"},
        {"a list without its opener", RECV_LIST, "LT1,AB\r\nLT2,CD\r\nEN\r\n",
         "LINK_E_BROKEN |LINK_E_BROKEN ", kCapacity,
         " sent an answer of a form that cannot be read"},
        {"a second answer to one request", RECV_LINE, "E0\r\nE5\r\n", "OK E0\r\n|LINK_E_BROKEN ",
         kCapacity, " sent bytes that no request asked for"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackPeer peer(Answering({c.first, "E0\r\n"}));
        auto link = Connected(peer);
        const Answer first = Exchange(*link, "Q1", c.shape, c.capacity);
        const Answer second = Exchange(*link, "Q2", RECV_LINE);
        EXPECT_EQ(
            Name(first.result) + " " + first.text + "|" + Name(second.result) + " " + second.text,
            c.result);
        EXPECT_EQ(link->FailureReason(),
                  c.reason.empty() ? "" : "127.0.0.1:" + std::to_string(peer.Port()) + c.reason);
    }
}

// A thread that sends and never reads the answer must not hold up the next user of the link;
// that answer would be read as the next one's, so the link is out of step and broken.
TEST(LinkSocket, AnAnswerNeverReadHoldsNoOneBack) {
    CLoopbackPeer peer(Answering({"E0\r\n", "E0\r\n"}));
    auto link = Connected(peer);
    CEvent sent;
    CEvent done;
    std::thread sender([&] {
        EXPECT_EQ(link->Send("Q1", 2), RZ_OK);
        sent.Set();
        done.Wait();  // alive, so that no other thread can be taken for it
    });
    sent.Wait();
    auto other = std::async(std::launch::async, [&] { return Exchange(*link, "Q2", RECV_LINE); });
    const bool prompt = other.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    link->Close();  // ends a wait that did not return
    done.Set();
    sender.join();
    EXPECT_TRUE(prompt) << "the second thread waited for the first one's answer to be read";
    EXPECT_EQ(Name(other.get().result), Name(LINK_E_BROKEN));
    EXPECT_EQ(link->FailureReason(), "A request to 127.0.0.1:" + std::to_string(peer.Port()) +
                                         " went before the previous answer was read");
}
