// Operations started on the GUI thread: they run on the connection's worker, one at a time, and
// their results (and the results of a sequence's steps) come back through the event loop.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

#include "ConnectionHarness.h"
#include "common/EventLoop.h"

namespace {

using Sent = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// A manual clock for the sequences' pauses. Each pause records its length and how many requests
// the link had seen when it began; it then waits until the clock has been advanced past it, or
// passes at once when `autoAdvance` is set.
class ManualPauses : public CPauseSource {
  public:
    ManualPauses(const FakeLink& link, bool autoAdvance) : link_(link), auto_(autoAdvance) {}

    bool Pause(uint32_t ms) override {
        std::unique_lock lock(mutex_);
        begun_.push_back({ms, link_.requests().size()});
        const uint64_t until = now_ + ms;
        if (auto_) {
            now_ = until;
        }
        cv_.notify_all();
        cv_.wait(lock, [&] { return now_ >= until || interrupted_; });
        return !interrupted_;
    }
    void Interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        cv_.notify_all();
    }
    void Advance(uint32_t ms) {
        std::lock_guard lock(mutex_);
        now_ += ms;
        cv_.notify_all();
    }
    // Pauses begun so far: (length, requests sent before it).
    std::vector<std::pair<uint32_t, size_t>> Begun() {
        std::lock_guard lock(mutex_);
        return begun_;
    }

  private:
    const FakeLink& link_;
    const bool auto_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t now_ = 0;
    bool interrupted_ = false;
    std::vector<std::pair<uint32_t, size_t>> begun_;
};

struct AsyncHarness : ConnectionHarness {
    explicit AsyncHarness(bool autoAdvance) : ConnectionHarness(3, 6) {
        EnsureApplication();
        auto source = std::make_unique<ManualPauses>(link, autoAdvance);
        pauses = source.get();
        connection->SetPauseSource(std::move(source));
    }
    ManualPauses* pauses;
};

RzResult Ack(CInstrumentConnection& c) {
    return c.AcknowledgeAlarm();
}
RzResult Message(CInstrumentConnection& c) {
    return c.WriteMessage(8);
}

// Each row: the answers ("|" between them; "timeout" for a receive that times out), the steps,
// the requests sent, the pauses begun as "milliseconds@step", the result, the step results
// handled and the communication errors raised.
TEST(Operations, SequencesRunTheirStepsWithPausesAndEndOnALostLink) {
    struct Case {
        const char* name;
        const char* answers;
        std::function<void(CSequence&, std::vector<RzResult>* handled)> build;
        const char* sent;
        const char* pauses;
        RzResult result;
        const char* handled;
        int commErrors;
    };
    const auto note = [](std::vector<RzResult>* handled) {
        return [handled](RzResult r) { handled->push_back(r); };
    };
    const Case cases[] = {
        {"PausesBetweenSteps", "E0\r\n|E0\r\n|E0\r\n",
         [](CSequence& s, auto*) {
             s.Then(Ack).Pause(2000).Then(Message).Pause(800).Then(
                 [](CInstrumentConnection& c) { return c.ExecEV(4); });
         },
         "AK 0|MS 8|EV 4", "2000@1|800@2", RZ_OK, "", 0},
        {"LostLinkEndsTheSequence", "timeout",
         [&](CSequence& s, auto* handled) { s.Then(Ack, note(handled)).Pause(2000).Then(Message); },
         "AK 0", "", LINK_E_TIMEOUT, "LINK_E_TIMEOUT", 1},
        {"AnyCodeThatFailedTheLinkEndsIt", "unframeable",
         [&](CSequence& s, auto* handled) { s.Then(Ack, note(handled)).Pause(2000).Then(Message); },
         "AK 0", "", LINK_E_FORMAT, "LINK_E_FORMAT", 1},
        {"RefusalIsReportedAndTheSequenceGoesOn", "E1\r\n|E0\r\n",
         [&](CSequence& s, auto* handled) {
             s.Then(Ack, note(handled)).Then(Message, note(handled));
         },
         "AK 0|MS 8", "", RZ_OK, "REPLY_ERROR|OK", 0},
        {"AStepEndsTheSequence", "E0\r\n",
         [](CSequence& s, auto*) {
             s.Decide([](CInstrumentConnection& c) {
                  return CStepOutcome{Ack(c), 0, true};
              }).Then(Message);
         },
         "AK 0", "", RZ_OK, "", 0},
        {"AStepChoosesItsPause", "E0\r\n|E0\r\n",
         [](CSequence& s, auto*) {
             s.Decide([](CInstrumentConnection& c) {
                  const RzResult r = Ack(c);
                  return CStepOutcome{r, r == RZ_OK ? 1500u : 0u};
              }).Then(Message);
         },
         "AK 0|MS 8", "1500@1", RZ_OK, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AsyncHarness h(true);
        for (const auto& answer : Split(c.answers)) {
            if (answer == "timeout" || answer == "unframeable") {
                const bool timeout = answer == "timeout";
                h.link.QueueReceiveError(timeout ? LINK_E_TIMEOUT : LINK_E_FORMAT, !timeout);
            } else {
                h.link.QueueAnswer(answer);
            }
        }
        const auto names = [](const std::vector<RzResult>& results) {
            std::vector<std::string> texts;
            for (const RzResult r : results) {
                texts.push_back(ResultCodeName(r));
            }
            return Joined(texts);
        };
        std::vector<RzResult> handled;
        CSequence sequence;
        c.build(sequence, &handled);
        bool done = false;
        RzResult result = RZ_OK;
        ASSERT_EQ(h.connection->StartSequence("Send", std::move(sequence),
                                              [&](RzResult r) {
                                                  // Step results come first.
                                                  EXPECT_EQ(names(handled), c.handled);
                                                  done = true;
                                                  result = r;
                                              }),
                  RZ_OK);
        ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(h.link.sentText(), c.sent);
        std::vector<std::string> pauses;
        for (const auto& [ms, step] : h.pauses->Begun()) {
            pauses.push_back(std::to_string(ms) + "@" + std::to_string(step));
        }
        EXPECT_EQ(Joined(pauses), c.pauses);
        EXPECT_EQ(names(handled), c.handled);
        EXPECT_EQ(h.commErrors, c.commErrors);
    }
}

TEST(Operations, OneAtATimeAndResultsInTheOrderStarted) {
    AsyncHarness h(false);
    h.link.SetDefaultAnswer("E0\r\n");
    std::vector<std::string> order;
    CSequence send;
    send.Then(Ack).Pause(1000).Then(Message);
    ASSERT_EQ(h.connection->StartSequence(
                  "Send", std::move(send),
                  [&](RzResult r) {
                      order.push_back("Send " + std::to_string(r));
                      // The next one may start from the handler.
                      EXPECT_EQ(
                          h.connection->StartOperation(
                              "Memory", [](auto& c) { return c.ExecPS(1); },
                              [&](RzResult m) { order.push_back("Memory " + std::to_string(m)); }),
                          RZ_OK);
                  }),
              RZ_OK);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !h.pauses->Begun().empty(); }));
    // During the pause the sequence still runs: another start is refused at once.
    h.shown.clear();
    EXPECT_EQ(h.connection->StartOperation("Refresh", [](auto& c) { return c.Refresh(); }),
              LINK_E_BUSY);
    EXPECT_EQ(h.shown, std::vector<std::string>{"Send is still running"});
    EXPECT_EQ(h.connection->RunningOperation(), "Send");
    h.pauses->Advance(999);
    h.pauses->Advance(1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"Send 0", "Memory 0"}));
    EXPECT_EQ(h.Sent(), (Sent{"AK 0", "MS 8", "PS 0"}));
    EXPECT_FALSE(h.connection->OperationRunning());
}

// A sequence's pause and the settle a DI/DO output waits for hold nothing (the connection is
// free, the output not yet stored); log-out or a lost link ends them at once, and a settle that
// passes stores the output.
TEST(Operations, PausesHoldNothingAndEndAtOnceOnLogOutOrALostLink) {
    enum End { kLogOut, kLostLink, kPasses };
    struct Case {
        const char* name;
        End end;
        bool settle;  // else a sequence pauses after "AK"
    };
    for (const Case c :
         {Case{"LogOut", kLogOut, false}, Case{"LostLink", kLostLink, false},
          Case{"LogOutInTheSettle", kLogOut, true}, Case{"LostLinkInTheSettle", kLostLink, true},
          Case{"SettlePasses", kPasses, true}}) {
        SCOPED_TRACE(c.name);
        AsyncHarness h(false);
        h.link.QueueAnswer("E0\r\n");
        h.link.QueueReceiveError(LINK_E_TIMEOUT);  // the first polling step
        CSequence send;
        send.Then(Ack).Pause(60000).Then(Message);
        std::vector<RzResult> results;
        const auto note = [&](RzResult r) { results.push_back(r); };
        ASSERT_EQ(c.settle ? h.connection->StartOperation(
                                 "Send", [](auto& x) { return x.SetDigitalOutput(4, 1); }, note)
                           : h.connection->StartSequence("Send", std::move(send), note),
                  RZ_OK);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !h.pauses->Begun().empty(); }));
        const auto output = [&h] {
            h.connection->UpdateModel([](CInstrumentModel&) {});  // the connection is free
            CInstrumentModel m{};
            h.connection->CopyModel(&m);
            return std::to_string(m.dio[3].outValue) + " " + m.dio[3].display.valueText[2];
        };
        EXPECT_EQ(output(), "0 ");
        const auto start = Clock::now();
        if (c.end == kLogOut) {
            h.connection->StopCycle();
        } else {
            if (c.end == kLostLink) {
                EXPECT_EQ(h.connection->PollOnce(), LINK_E_TIMEOUT);
            }
            h.pauses->Advance(c.end == kPasses ? 500 : 0);
            ASSERT_TRUE(ProcessEventsUntil([&] { return !results.empty(); }));
        }
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
        QCoreApplication::processEvents();
        const std::vector<RzResult> none;
        EXPECT_EQ(results,
                  c.end == kLogOut ? none : std::vector{c.end == kPasses ? RZ_OK : LINK_E_BROKEN});
        const std::string first = c.settle ? "DM4,1" : "AK 0";
        EXPECT_EQ(h.Sent(), c.end == kLostLink ? (Sent{first, "FW"}) : Sent{first});
        EXPECT_EQ(output(), c.end == kPasses ? "1 1" : "0 ");
    }
}

TEST(Operations, ViewStateIsWrittenWhileAnExchangeHoldsTheConnection) {
    AsyncHarness h(true);
    h.link.QueueAnswer("E0\r\n");
    std::promise<void> holding;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool done = false;
    ASSERT_EQ(h.connection->StartOperation(
                  "Display",
                  [&holding, released](CInstrumentConnection& c) {
                      // Holds the connection lock as an exchange the instrument does not answer
                      // would.
                      c.UpdateModel([&](CInstrumentModel&) {
                          holding.set_value();
                          released.wait();
                      });
                      return c.SwitchDisplay(3, 0);
                  },
                  [&](RzResult r) {
                      EXPECT_EQ(r, RZ_OK);
                      done = true;
                  }),
              RZ_OK);
    holding.get_future().wait();
    auto view = std::async(std::launch::async, [&] {
        h.connection->UpdateViewState([](CViewState& v) {
            v.simplePage = 2;
            v.internalLoops[0].spEdited = 1;
        });
        CInstrumentModel m{};
        h.connection->CopyModel(&m);
        return m.simplePage == 2 && m.internalLoops[0].spEdited == 1;
    });
    const bool wroteAtOnce = view.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    release.set_value();
    EXPECT_TRUE(wroteAtOnce);
    EXPECT_TRUE(view.get());
    ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
    // The operation's own change and the view's live side by side.
    CInstrumentModel m{};
    h.connection->CopyModel(&m);
    EXPECT_EQ(m.displayKind, 6);
    EXPECT_EQ(m.simplePage, 2);
}

}  // namespace
