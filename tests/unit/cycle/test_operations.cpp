// Operations started on the GUI thread: they run on the connection's worker, one at a time, and
// their results (and the results of a sequence's steps) come back through the event loop.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "ConnectionHarness.h"
#include "common/EventLoop.h"
#include "session/GuiDispatcher.h"

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
                 [](CInstrumentConnection& c) { return c.SaveData(4); });
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
        ASSERT_TRUE(h.connection
                        ->StartSequence("Send", std::move(sequence),
                                        [&](RzResult r) {
                                            // Step results come first.
                                            EXPECT_EQ(names(handled), c.handled);
                                            done = true;
                                            result = r;
                                        })
                        .ok());
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

// Each row holds a Send (AK, a pause, MS 8) in its pause and starts more meanwhile, then from
// the Send's handler: "O:M1" the operator's start of message 1, "F:M1" a follow-up, "X:M1" a
// follow-up whose receiver is gone when the pause ends. Then the pause passes, or a polling step
// finds the link lost, or the operator logs out: either ends the pause at once. `handled` lists
// each result in the order handled, a refused start with its code.
TEST(Operations, OneAtATimeAndFollowUpsRunAfterInTheOrderStarted) {
    enum class End { Pass, LostLink, LogOut };
    const struct {
        const char* name;
        const char* during;
        const char* fromHandler;
        End end;
        const char* sent;
        const char* handled;
        const char* shown;
    } cases[] = {
        {"OperatorStartsAreRefused", "O:M1", "O:M2", End::Pass, "AK 0|MS 8|MS 2",
         "M1 LINK_E_BUSY|Send OK|M2 OK", "Send is still running"},
        {"FollowUpsWait", "F:M1 F:M2 O:M3", "O:M3 F:M1", End::Pass, "AK 0|MS 8|MS 1|MS 2|MS 1",
         "M3 LINK_E_BUSY|Send OK|M3 LINK_E_BUSY|M1 OK|M2 OK|M1 OK",
         "Send is still running|M1 is still running"},
        {"ReceiverGone", "X:M1 F:M2", "", End::Pass, "AK 0|MS 8|MS 2", "Send OK|M2 OK", ""},
        {"LostLinkDropsThem", "F:M1", "F:M2", End::LostLink, "AK 0|FW",
         "Send LINK_E_BROKEN|M2 LINK_E_BROKEN", ""},
        {"LogOutDropsThem", "F:M1", "", End::LogOut, "AK 0", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AsyncHarness h(false);
        h.link.QueueAnswer("E0\r\n");
        if (c.end == End::LostLink) {
            h.link.QueueReceiveError(LINK_E_TIMEOUT);  // the first polling step
        }
        h.link.SetDefaultAnswer("E0\r\n");
        std::vector<std::string> handled;
        const auto note = [&handled](std::string key) {
            return
                [&handled, key](RzResult r) { handled.push_back(key + " " + ResultCodeName(r)); };
        };
        std::vector<std::unique_ptr<QObject>> receivers;
        std::vector<std::string> refusals;  // the messages of the refused starts
        const auto start = [&](const std::string& script) {
            for (const std::string& word : Split(script, ' ')) {
                const int32_t n = word[3] - '0';
                auto body = [n](CInstrumentConnection& c) { return c.WriteMessage(n); };
                receivers.push_back(std::make_unique<QObject>());
                const RzExpected<void> r =
                    word[0] == 'O'
                        ? h.connection->StartOperation(word.c_str() + 2, body, note(word.substr(2)))
                        : h.connection->StartFollowUp(
                              word.c_str() + 2, body, note(word.substr(2)),
                              word[0] == 'X' ? receivers.back().get() : nullptr);
                if (!r) {
                    note(word.substr(2))(r.code());
                    refusals.insert(refusals.end(), r.error().messages.begin(),
                                    r.error().messages.end());
                }
            }
        };
        CSequence send;
        send.Then(Ack).Pause(1000).Then(Message);
        ASSERT_TRUE(h.connection
                        ->StartSequence("Send", std::move(send),
                                        [&, done = note("Send")](RzResult r) {
                                            done(r);
                                            start(c.fromHandler);
                                        })
                        .ok());
        ASSERT_TRUE(ProcessEventsUntil([&] { return !h.pauses->Begun().empty(); }));
        start(c.during);
        receivers.clear();
        const auto ending = Clock::now();
        if (c.end == End::LogOut) {
            h.connection->StopCycle();
        } else if (c.end == End::LostLink) {
            EXPECT_EQ(h.connection->PollOnce(), LINK_E_TIMEOUT);
        } else {
            h.pauses->Advance(1000);
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return !h.connection->OperationRunning(); }));
        EXPECT_LT(Clock::now() - ending, std::chrono::milliseconds(100));
        QCoreApplication::processEvents();
        EXPECT_EQ(h.link.sentText(), c.sent);
        EXPECT_EQ(Joined(handled), c.handled);
        // A refusal says why in its result; nothing is shown on the way.
        EXPECT_EQ(Joined(refusals), c.shown);
        EXPECT_TRUE(h.shown.empty());
    }
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
        ASSERT_TRUE((c.settle ? h.connection->StartOperation(
                                    "Send", [](auto& x) { return x.SetDigitalOutput(4, 1); }, note)
                              : h.connection->StartSequence("Send", std::move(send), note))
                        .ok());
        ASSERT_TRUE(ProcessEventsUntil([&] { return !h.pauses->Begun().empty(); }));
        const auto output = [&h] {
            h.connection->UpdateModel([](CInstrumentModel&) {});  // the connection is free
            const CInstrumentModel m = h.connection->CopyModel();
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
    ASSERT_TRUE(h.connection
                    ->StartOperation(
                        "Display",
                        [&holding, released](CInstrumentConnection& c) {
                            // Holds the connection lock as an exchange the instrument does not
                            // answer would.
                            c.UpdateModel([&](CInstrumentModel&) {
                                holding.set_value();
                                released.wait();
                            });
                            return c.SwitchDisplay(3, 0);
                        },
                        [&](RzResult r) {
                            EXPECT_EQ(r, RZ_OK);
                            done = true;
                        })
                    .ok());
    holding.get_future().wait();
    auto view = std::async(std::launch::async, [&] {
        h.connection->UpdateViewState([](CViewState& v) {
            v.simplePage = 2;
            v.internalLoops[0].spEdited = 1;
        });
        const CInstrumentModel m = h.connection->CopyModel();
        return m.simplePage == 2 && m.internalLoops[0].spEdited == 1;
    });
    const bool wroteAtOnce = view.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    release.set_value();
    EXPECT_TRUE(wroteAtOnce);
    EXPECT_TRUE(view.get());
    ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
    // The operation's own change and the view's live side by side.
    const CInstrumentModel m = h.connection->CopyModel();
    EXPECT_EQ(m.displayKind, 6);
    EXPECT_EQ(m.simplePage, 2);
}

}  // namespace

// The hand-over to the GUI thread: one descriptor however many dispatchers; calls posted before
// a dispatcher is armed wait for it; a call may destroy its own or another listed dispatcher.
TEST(GuiDispatcher, SharedWakeUpRunsEachDispatchersCallsInOrderAndSurvivesDestruction) {
    EnsureApplication();
    const auto openFds = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator{});
    };
    enum class Destroy { kNone, kOwn, kOther };
    struct Case {
        const char* name;
        Destroy destroy;    // by the first call of the armed dispatcher
        std::string first;  // what ran before the second dispatcher was armed
        std::string all;
    };
    for (const Case& c : {Case{"NoneDestroyed", Destroy::kNone, "a1 a2", "a1 a2 b1 b2"},
                          Case{"OwnDestroyed", Destroy::kOwn, "a1", "a1 b1 b2"},
                          Case{"OtherDestroyed", Destroy::kOther, "a1 a2", "a1 a2"}}) {
        SCOPED_TRACE(c.name);
        auto a = std::make_unique<CGuiDispatcher>();
        auto b = std::make_unique<CGuiDispatcher>();
        a->Arm();  // the shared descriptor exists from the first arming on
        const auto before = openFds();
        std::vector<std::unique_ptr<CGuiDispatcher>> more(50);
        for (auto& each : more) {
            each = std::make_unique<CGuiDispatcher>();
            each->Arm();
        }
        EXPECT_EQ(openFds(), before);
        std::string ran;
        const auto note = [&ran](const char* what) {
            ran += (ran.empty() ? "" : " ") + std::string(what);
        };
        std::thread worker([&] {
            b->Post([&] { note("b1"); });
            a->Post([&] {
                note("a1");
                if (c.destroy == Destroy::kOwn) {
                    a.reset();
                } else if (c.destroy == Destroy::kOther) {
                    b.reset();
                }
            });
            a->Post([&] { note("a2"); });
            b->Post([&] { note("b2"); });
        });
        worker.join();
        EXPECT_TRUE(ProcessEventsUntil([&] { return ran.size() >= c.first.size(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(ran, c.first);
        if (b) {
            b->Arm();
        }
        EXPECT_TRUE(ProcessEventsUntil([&] { return ran.size() >= c.all.size(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(ran, c.all);
    }
}

// A thin wait wakes for a call posted from another thread and runs it.
TEST(GuiDispatcher, ThinWaitRunsCallsPostedFromAnotherThread) {
    CGuiDispatcher dispatcher;
    int ran = 0;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            dispatcher.Post([&ran] { ++ran; });
        }
    });
    dispatcher.WaitUntil([&ran] { return ran == 3; });
    worker.join();
    EXPECT_EQ(ran, 3);
}

// A call that opens a nested event loop (a modal dialog) does not hold up the calls of the other
// dispatchers that were ready with it.
TEST(GuiDispatcher, NestedEventLoopRunsTheOtherReadyDispatchers) {
    EnsureApplication();
    CGuiDispatcher a;
    CGuiDispatcher b;
    a.Arm();
    b.Arm();
    bool bRan = false;
    bool seenInside = false;
    std::thread worker([&] {
        a.Post([&] {
            seenInside = ProcessEventsUntil([&] { return bRan; }, std::chrono::seconds(2));
        });
        b.Post([&] { bRan = true; });
    });
    worker.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return bRan; }));
    EXPECT_TRUE(seenInside) << "b ran only after a's nested loop ended";
}
