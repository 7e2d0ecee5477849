// The connection's operation entry points: each runs its commands on the calling thread (the
// connection's worker, as a rule) under the connection lock and folds the result into the
// model; called on the GUI thread, the timer stops around it.
#include <cstdio>
#include <cstring>
#include <utility>

#include "session/InstrumentConnection.h"

namespace {

// How long a DI/DO point takes to report an output just written (ms).
constexpr uint32_t kDigitalOutputSettleMs = 500;

// "%<d>.<d>f": width and precision both the decimal places, cut to the 8-byte text field.
void FormatDecimal(char (&text)[kValueTextSize], double value, int32_t decimals) {
    const int d = decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
    std::snprintf(text, sizeof text, "%*.*f", d, d, value);
}

const char* ModeText(int32_t mode) {
    switch (mode) {
        case 0:
            return "AUT";
        case 1:
            return "MAN";
        case 2:
            return "CAS";
        default:
            return "***";
    }
}

void SetText(char (&field)[kModeTextSize], const char* text) {
    std::snprintf(field, sizeof field, "%s", text);
}

bool InRange(int32_t n, int32_t last) {
    return n >= 1 && n <= last;
}

// "DV" with one item for one external loop; `fill` sets the item's value in the loop's record.
template <class Fill>
RzResult RunDvItem(CCommandSet& set, int32_t loop, const char* item, Fill fill) {
    if (!InRange(loop, kExternalLoops)) {
        return LINK_E_PARAMETER;
    }
    auto* dv = set.Get<CCmdDV>();
    if (dv == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    dv->loop = loop;
    std::snprintf(dv->item[loop - 1], sizeof dv->item[loop - 1], "%s", item);
    fill(dv->records[loop - 1]);
    return dv->Execute();
}

// The set-point sequence: ask which set point the loop uses ("FP"/"DQ"), write that one
// ("GO"/"DT"), and on success keep the value and its text in the loop's record.
template <class Ask, class Write, class Record>
RzResult WriteSetPoint(Ask* ask, Write* write, Record& record, int32_t loop, double value) {
    if (ask == nullptr || write == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    ask->loop = loop;
    RzResult r = ask->Query();
    if (r != RZ_OK) {
        return r;
    }
    write->loop = loop;
    write->setPointNumber = ask->setPointNumber;
    write->value = value;
    write->decimals = record.spDecimals;
    r = write->Execute();
    if (r == RZ_OK) {
        record.spValue = value;
        FormatDecimal(record.display.valueText[1], value, record.spDecimals);
    }
    return r;
}

}  // namespace

// The common frame: refuses a connection whose link is lost, stops the timer (unless told not
// to), runs `body` under the connection lock and publishes the model, then runs `after` with
// the body's result without the lock (a pause goes there, so that the cycle is never held up
// by it; its result is the operation's), reports a lost link and restarts the timer.
class CInstrumentConnection::EntryFrame {
  public:
    template <class Body, class After>
    static RzResult Run(CInstrumentConnection& c, bool touchTimer, Body&& body, After&& after) {
        if (c.errorFlag_ != 0) {
            return LINK_E_BROKEN;
        }
        // The timer belongs to the GUI thread; an operation on the worker leaves it alone.
        const bool timerWasRunning = touchTimer && c.PauseTimer();
        RzResult result;
        {
            std::lock_guard lock(c.commandLock_);
            result = body();
            c.PublishSnapshot(false);
        }
        result = after(result);
        if (c.LostLink(result)) {
            c.ReportLinkLost();
            return result;
        }
        if (timerWasRunning) {
            c.ResumeTimer();
        }
        return result;
    }

    template <class Body>
    static RzResult Run(CInstrumentConnection& c, bool touchTimer, Body&& body) {
        return Run(c, touchTimer, std::forward<Body>(body), [](RzResult r) { return r; });
    }
};

// "PS"
RzResult CInstrumentConnection::SetMemoryRunning(int32_t running) {
    return EntryFrame::Run(*this, false, [&]() -> RzResult {
        auto* ps = commands_->Get<CCmdPS>();
        if (ps == nullptr)
            return LINK_E_UNSUPPORTED;
        ps->start = running;
        const RzResult r = ps->Execute();
        if (r == RZ_OK)
            model_.memoryRunning = running;
        return r;
    });
}

// "TL"
RzResult CInstrumentConnection::OperateMath(int32_t action) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* tl = commands_->Get<CCmdTL>();
        if (tl == nullptr)
            return LINK_E_UNSUPPORTED;
        tl->action = action;
        const RzResult r = tl->Execute();
        if (r == RZ_OK && action == 1)
            model_.mathRunning = 1;
        if (r == RZ_OK && action == 2)
            model_.mathRunning = 0;
        return r;
    });
}

// Internal "OC", external "DV" item "SR".
RzResult CInstrumentConnection::OperateLoopRun(int32_t kind, int32_t loop, int32_t run) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops))
                return LINK_E_PARAMETER;
            auto* oc = commands_->Get<CCmdOC>();
            if (oc == nullptr)
                return LINK_E_UNSUPPORTED;
            oc->state = run;
            oc->loop = loop;
            RzResult r = oc->Execute();
            if (r != RZ_OK)
                return r;
            // A loop may drive a program pattern; its state is re-read where the instrument
            // offers programs. Elsewhere the result is that of "OC".
            if (ProgramReloadApplies())
                r = ReloadProgramLocked(loop, 0);
            if (model_.firmwareMajor < 2)
                model_.internalLoops[loop - 1].run = run;
            return r;
        }
        if (kind == kEntryExternalLoop) {
            return RunDvItem(*commands_, loop, "SR",
                             [&](CDvLoopRecord& record) { record.runStop = run; });
        }
        return RZ_OK;
    });
}

RzResult CInstrumentConnection::OperateLoopMode(int32_t kind, int32_t loop, int32_t mode) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops))
                return LINK_E_PARAMETER;
            auto* ca = commands_->Get<CCmdCA>();
            if (ca == nullptr)
                return LINK_E_UNSUPPORTED;
            ca->loop = loop;
            ca->mode = mode;
            const RzResult r = ca->Execute();
            if (r == RZ_OK && model_.firmwareMajor < 2) {
                CInternalLoopRecord& record = model_.internalLoops[loop - 1];
                record.modeCode = mode;
                SetText(record.display.modeText, mode == 0 ? "AUT" : (mode == 2 ? "CAS" : "MAN"));
            }
            return r;
        }
        if (kind == kEntryExternalLoop) {
            return RunDvItem(*commands_, loop, "MODE",
                             [&](CDvLoopRecord& record) { record.mode = mode; });
        }
        if (kind == kEntryDioPoint) {
            if (!InRange(loop, kDioPoints))
                return LINK_E_PARAMETER;
            auto* dl = commands_->Get<CCmdDL>();
            if (dl == nullptr)
                return LINK_E_UNSUPPORTED;
            dl->point = loop;
            dl->mode = mode;
            return dl->Execute();
        }
        return RZ_OK;
    });
}

// Internal "RL", external "DV" item "RL".
RzResult CInstrumentConnection::OperateLoopRemote(int32_t kind, int32_t loop, int32_t remote) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops))
                return LINK_E_PARAMETER;
            auto* rl = commands_->Get<CCmdRL>();
            if (rl == nullptr)
                return LINK_E_UNSUPPORTED;
            rl->state = remote;
            rl->loop = loop;
            const RzResult r = rl->Execute();
            if (r == RZ_OK && model_.firmwareMajor < 2) {
                model_.internalLoops[loop - 1].remote = remote;
            }
            return r;
        }
        if (kind == kEntryExternalLoop) {
            return RunDvItem(*commands_, loop, "RL",
                             [&](CDvLoopRecord& record) { record.remote = remote; });
        }
        return RZ_OK;
    });
}

RzResult CInstrumentConnection::SetLoopSP(int32_t kind, int32_t loop, double value) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops)) {
                return LINK_E_PARAMETER;
            }
            return WriteSetPoint(commands_->Get<CCmdFP>(), commands_->Get<CCmdGO>(),
                                 model_.internalLoops[loop - 1], loop, value);
        }
        if (kind == kEntryExternalLoop) {
            if (!InRange(loop, kExternalLoops)) {
                return LINK_E_PARAMETER;
            }
            return WriteSetPoint(commands_->Get<CCmdDQ>(), commands_->Get<CCmdDT>(),
                                 model_.externalLoops[loop - 1], loop, value);
        }
        return RZ_OK;
    });
}

RzResult CInstrumentConnection::SetLoopOut(int32_t kind, int32_t loop, double value) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (model_.firmwareMajor < 2)
            return LINK_E_UNSUPPORTED;
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops))
                return LINK_E_PARAMETER;
            auto* hj = commands_->Get<CCmdHJ>();
            if (hj == nullptr)
                return LINK_E_UNSUPPORTED;
            CInternalLoopRecord& record = model_.internalLoops[loop - 1];
            hj->value = value;
            hj->decimals = record.outDecimals;
            hj->loop = loop;
            const RzResult r = hj->Execute();
            if (r == RZ_OK) {
                UpdateViewState([&](CViewState& v) { v.internalLoops[loop - 1].outValue = value; });
                FormatDecimal(record.display.valueText[2], value, record.outDecimals);
            }
            return r;
        }
        if (kind == kEntryExternalLoop) {
            if (!InRange(loop, kExternalLoops)) {
                return LINK_E_PARAMETER;
            }
            CExternalLoopRecord& record = model_.externalLoops[loop - 1];
            const RzResult r = RunDvItem(*commands_, loop, "MOUT", [&](CDvLoopRecord& item) {
                item.manualOutput = value;
                item.outputDecimals = record.outDecimals;
            });
            if (r == RZ_OK) {
                UpdateViewState([&](CViewState& v) { v.externalLoops[loop - 1].outValue = value; });
                FormatDecimal(record.display.valueText[2], value, record.outDecimals);
            }
            return r;
        }
        return RZ_OK;
    });
}

RzResult CInstrumentConnection::SetDigitalOutput(int32_t point, int32_t value) {
    return EntryFrame::Run(
        *this, true,
        [&]() -> RzResult {
            if (model_.firmwareMajor < 3)
                return LINK_E_UNSUPPORTED;
            if (!InRange(point, kDioPoints))
                return LINK_E_PARAMETER;
            auto* dm = commands_->Get<CCmdDM>();
            if (dm == nullptr)
                return LINK_E_UNSUPPORTED;
            dm->point = point;
            dm->value = value;
            return dm->Execute();
        },
        [&](RzResult r) {
            if (r != RZ_OK) {
                return r;
            }
            // The instrument needs a moment before the point reports its new output. The pause
            // ends at once on log-out or a lost link, like a sequence's.
            if (!runner_.Pause(kDigitalOutputSettleMs)) {
                return LINK_E_BROKEN;
            }
            std::lock_guard lock(commandLock_);
            CDioRecord& record = model_.dio[point - 1];
            UpdateViewState([&](CViewState& v) { v.dio[point - 1].outValue = value; });
            std::snprintf(record.display.valueText[2], sizeof record.display.valueText[2], "%d",
                          value);
            PublishSnapshot(false);
            return r;
        });
}

RzResult CInstrumentConnection::ReloadProgram(int32_t index, int32_t pattern) {
    return EntryFrame::Run(*this, true, [&] { return ReloadProgramLocked(index, pattern); });
}

bool CInstrumentConnection::ProgramReloadApplies() const {
    return model_.firmwareMajor >= 2 && model_.programOption != 0;
}

RzResult CInstrumentConnection::ReloadProgramLocked(int32_t index, int32_t pattern) {
    if (!ProgramReloadApplies() || index < 0 || index > kPatterns) {
        return LINK_E_GENERAL;
    }
    if (model_.firmwareMajor == 2) {
        return loader_.LoadPatternState(pattern, index);
    }
    return loader_.LoadPatternStates();
}

RzExpected<bool> CInstrumentConnection::OperateProgram(int32_t pattern, int32_t action) {
    bool changed = false;
    const RzResult result = EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (model_.programOption == 0 || pattern < 1 || pattern > kPatterns) {
            return LINK_E_GENERAL;
        }
        if (action == 0)
            return RZ_OK;
        auto* pn = commands_->Get<CCmdPN>();
        if (pn == nullptr)
            return LINK_E_UNSUPPORTED;
        pn->pattern = pattern;
        RzResult r = pn->Execute();
        if (r != RZ_OK)
            return r;
        r = ReloadProgramLocked(0, pattern);
        if (r != RZ_OK)
            return r;

        CPatternRecord& record = model_.patterns[pattern - 1];
        const int32_t state = record.state;
        int32_t newState = state;
        switch (action) {
            case kProgramRun: {
                if (state == 2 || state == 3 || state == 4)
                    return RZ_OK;
                auto* px = commands_->Get<CCmdPX>();
                if (px == nullptr)
                    return LINK_E_UNSUPPORTED;
                px->run = 1;
                r = px->Execute();
                newState = 2;
                break;
            }
            case kProgramReset: {
                if (state == 1)
                    return RZ_OK;
                auto* px = commands_->Get<CCmdPX>();
                if (px == nullptr)
                    return LINK_E_UNSUPPORTED;
                px->run = 0;
                r = px->Execute();
                newState = 1;
                break;
            }
            case kProgramHold:
            case kProgramRelease: {
                const bool hold = action == kProgramHold;
                if (hold ? (state == 1 || state == 3) : state != 3)
                    return RZ_OK;
                auto* hu = commands_->Get<CCmdHU>();
                if (hu == nullptr)
                    return LINK_E_UNSUPPORTED;
                hu->hold = hold ? 1 : 0;
                r = hu->Execute();
                newState = hold ? 3 : 2;
                break;
            }
            case kProgramAdvance: {
                if (state == 1)
                    return RZ_OK;
                auto* ad = commands_->Get<CCmdAD>();
                if (ad == nullptr)
                    return LINK_E_UNSUPPORTED;
                r = ad->Execute();
                break;
            }
            default:
                return RZ_OK;
        }
        if (r != RZ_OK)
            return r;
        record.state = newState;
        changed = true;
        if ((action == kProgramRun || action == kProgramReset) && levelPolling_ != 0) {
            // The program screen follows; a refusal leaves the operation done, a lost link not.
            r = SwitchDisplayLocked(11, 0);
            if (LostLink(r)) {
                return r;
            }
        }
        return RZ_OK;
    });
    if (result != RZ_OK) {
        return RzError(result);
    }
    return changed;
}

RzResult CInstrumentConnection::ReadLoopState(int32_t kind, int32_t loop) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        if (kind == kEntryInternalLoop) {
            if (!InRange(loop, kInternalLoops))
                return LINK_E_PARAMETER;
            auto* fm = commands_->Get<CCmdFM>();
            if (fm == nullptr)
                return LINK_E_UNSUPPORTED;
            fm->loop = loop;
            const RzResult r = fm->Query();
            if (r == RZ_OK) {
                CInternalLoopRecord& record = model_.internalLoops[loop - 1];
                record.modeCode = fm->state2;
                record.remote = fm->state1;
                record.run = fm->state0;
                record.bit7 = fm->bit7;
                SetText(record.display.modeText, ModeText(fm->state2));
            }
            return r;
        }
        if (kind == kEntryExternalLoop) {
            if (!InRange(loop, kExternalLoops))
                return LINK_E_PARAMETER;
            auto* dr = commands_->Get<CCmdDR>();
            if (dr == nullptr)
                return LINK_E_UNSUPPORTED;
            dr->loop = loop;
            const RzResult r = dr->Query();
            if (r == RZ_OK) {
                CExternalLoopRecord& record = model_.externalLoops[loop - 1];
                record.modeCode = dr->state2;
                record.remote = dr->state1;
                record.run = dr->state0;
                SetText(record.display.modeText, ModeText(dr->state2));
            }
            return r;
        }
        if (kind == kEntryDioPoint) {
            if (model_.firmwareMajor == 3 && model_.loopCount > 0 && dioAvailable_ != 0) {
                return loader_.LoadDioStatus();
            }
        }
        return RZ_OK;
    });
}

RzExpected<std::string> CInstrumentConnection::ReadLog(int32_t kind) {
    std::string text;
    const RzResult result = EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* fl = commands_->Get<CCmdFL>();
        if (fl == nullptr)
            return LINK_E_UNSUPPORTED;
        fl->kind = kind;
        fl->count = 0;  // the log's largest line count
        const RzResult r = fl->Query();
        if (r != RZ_OK)
            return r;
        text = fl->logText;
        return RZ_OK;
    });
    if (result != RZ_OK) {
        return RzError(result);
    }
    return text;
}

RzResult CInstrumentConnection::AcknowledgeAlarm() {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* ak = commands_->Get<CCmdAK>();
        return ak == nullptr ? LINK_E_UNSUPPORTED : ak->Execute();
    });
}

RzResult CInstrumentConnection::WriteMessage(int32_t number) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* ms = commands_->Get<CCmdMS>();
        if (ms == nullptr)
            return LINK_E_UNSUPPORTED;
        ms->message = number;
        return ms->Execute();
    });
}

// "EV"
RzResult CInstrumentConnection::SaveData(int32_t kind) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* ev = commands_->Get<CCmdEV>();
        if (ev == nullptr)
            return LINK_E_UNSUPPORTED;
        ev->kind = kind;
        return ev->Execute();
    });
}

// "&4"
RzResult CInstrumentConnection::ShowPattern(int32_t pattern) {
    return EntryFrame::Run(*this, true, [&]() -> RzResult {
        auto* amp4 = commands_->Get<CCmdAmp4>();
        if (amp4 == nullptr)
            return LINK_E_UNSUPPORTED;
        amp4->pattern = pattern;
        return amp4->Execute();
    });
}

RzResult CInstrumentConnection::SwitchDisplay(int32_t kind, int32_t index) {
    return EntryFrame::Run(*this, true, [&] { return SwitchDisplayLocked(kind, index); });
}

RzResult CInstrumentConnection::SwitchDisplayLocked(int32_t kind, int32_t index) {
    auto* ud = commands_->Get<CCmdUD>();
    if (ud == nullptr)
        return LINK_E_UNSUPPORTED;
    ud->kind = 1;
    ud->display = kind;
    ud->group = index;
    const RzResult r = ud->Execute();
    if (r != RZ_OK)
        return r;
    UpdateViewState([kind, index](CViewState& m) {
        switch (kind) {
            case 0:
            case 1:
            case 2:
                m.displayKind = 4;
                m.measurePage = kind;
                m.displayGroup = index - 1;
                break;
            case 7:
            case 8:
            case 9:
                m.displayKind = 1;
                m.controlStyle = kind == 7 ? 1 : (kind == 8 ? 0 : 2);
                m.displayGroup = index - 1;
                break;
            case 3:
                m.displayKind = 6;
                break;
            case 10:
                m.displayKind = 2;
                break;
            case 11:
                m.displayKind = 5;
                break;
            case 12:
                m.displayKind = 7;
                break;
            case 14:
                m.displayKind = 3;
                break;
            default:
                break;
        }
    });
    return r;
}

RzResult CInstrumentConnection::SetTrendOptions(int32_t a, int32_t b, int32_t c) {
    return EntryFrame::Run(*this, true, [&] { return SetTrendOptionsLocked(a, b, c); });
}

RzResult CInstrumentConnection::SetTrendOptionsLocked(int32_t a, int32_t b, int32_t c) {
    auto* ud = commands_->Get<CCmdUD>();
    if (ud == nullptr)
        return LINK_E_UNSUPPORTED;
    ud->kind = 4;
    ud->display = 0;
    ud->group = a != 0;
    ud->option2 = b != 0;
    ud->option3 = c != 0;
    const RzResult r = ud->Execute();
    if (r == RZ_OK) {
        UpdateViewState([a, b, c](CViewState& v) {
            v.trendOptions =
                (v.trendOptions & ~7) | (a != 0 ? 1 : 0) | (b != 0 ? 2 : 0) | (c != 0 ? 4 : 0);
        });
    }
    return r;
}
