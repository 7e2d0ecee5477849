#include "views/LoopPanelDlg.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "session/InstrumentConnection.h"
#include "ui/Widgets.h"
#include "views/NumericEdit.h"
#include "views/ViewOperations.h"

// Send: the range checks with their question, then one operation that sends what differs.

namespace {

// A limit of question kAdjustedQuestion: with `decimals` places when there are any, else truncated.
std::string LimitText(double value, int decimals) {
    char format[32];
    char text[64];
    if (decimals >= 1) {
        std::snprintf(format, sizeof format, "%%%d.%df", decimals, decimals);
        std::snprintf(text, sizeof text, format, value);
    } else {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    }
    return text;
}

}  // namespace

bool CLoopPanelDlg::AskAdjusted(const char* name, double low, double high, int decimals) {
    char text[512];
    const QByteArray format = RzText(RzStr::kAdjustedQuestion).toUtf8();
    std::snprintf(text, sizeof text, format.constData(), name, LimitText(low, decimals).c_str(),
                  LimitText(high, decimals).c_str());
    if (!question_ || !question_(QString::fromUtf8(text))) {
        return false;
    }
    update();
    return true;
}

std::optional<CLoopPanelDlg::SendValues> CLoopPanelDlg::CheckRanges(const CInstrumentModel& m,
                                                                    uint32_t ref) {
    SendValues values;
    const int32_t kind = KindOf(ref);
    const int32_t n = NumberOf(ref) - 1;
    // Typed fields that hold no number: the emptied ones by name, the others with their text.
    std::string empty;
    std::string incomplete;
    const auto notSent = [&](const char* name, const CNumericEdit* field) {
        if (field->text().isEmpty()) {
            empty += (empty.empty() ? "" : " and ") + std::string(name);
        } else {
            incomplete += (incomplete.empty() ? "" : "; ") + std::string(name) + " not sent: \"" +
                          field->text().toStdString() + "\" is not a complete number";
        }
    };

    const bool spOn = On(sp_) && kind != kEntryDioPoint;
    const std::optional<double> spTyped = sp_->Value();
    if (spOn && spTyped) {
        double value = *spTyped;
        if (value > kSpLimit || value < -kSpLimit) {
            value = value > 0 ? kSpLimit : -kSpLimit;
            const int32_t decimals = kind == kEntryInternalLoop ? m.internalLoops[n].spDecimals
                                                                : m.externalLoops[n].spDecimals;
            sp_->setText(NumericFieldText(value, sp_->Decimals()));
            if (!AskAdjusted("SP", -kSpLimit, kSpLimit, decimals)) {
                return std::nullopt;
            }
        }
        values.sp = value;
    } else if (spOn && SpEdited(m, ref)) {
        notSent("SP", sp_);
    }

    const bool outOn = On(out_);
    const bool outEdited = outOn && OutEdited(m, ref);
    const std::optional<double> outTyped = out_->Value();
    if (outEdited && outTyped) {
        double value = *outTyped;
        double low = 0.0;
        double high = 1.0;
        int32_t decimals = 0;
        bool replaced = false;
        if (kind == kEntryDioPoint) {
            const int32_t whole = static_cast<int32_t>(value);
            if (whole != 0 && whole != 1) {
                value = value < 0.1 ? 0.0 : 1.0;
                replaced = true;
            }
        } else {
            const bool internal = kind == kEntryInternalLoop;
            low = internal ? m.internalLoops[n].outLow : m.externalLoops[n].outLow;
            high = internal ? m.internalLoops[n].outHigh : m.externalLoops[n].outHigh;
            decimals = internal ? m.internalLoops[n].outDecimals : m.externalLoops[n].outDecimals;
            if (value < low || value > high) {
                value = value < low ? low : high;
                replaced = true;
            }
            // An ON/OFF output is either limit.
            if (internal && m.internalLoops[n].outputType == kOutputOnOff &&
                std::fabs(value - low) > 0.01 && std::fabs(value - high) > 0.01) {
                value = value - low > 0.1 ? high : low;
                replaced = true;
            }
        }
        if (replaced) {
            out_->setText(kind == kEntryDioPoint ? QString::number(static_cast<int32_t>(value))
                                                 : NumericFieldText(value, out_->Decimals()));
            SetOutEdited(ref, true, value);
            if (!AskAdjusted("OUT", low, high, decimals)) {
                return std::nullopt;
            }
        }
        values.out = value;
    } else if (outEdited) {
        notSent("OUT", out_);
    }
    std::string status = empty.empty() ? "" : "Empty " + empty + " not sent";
    status += (status.empty() || incomplete.empty() ? "" : "; ") + incomplete;
    if (!status.empty()) {
        ShowStatusMessage(status);
    }
    return values;
}

void CLoopPanelDlg::Send() {
    const uint32_t ref = SelectedEntry();
    if (context_.connection == nullptr || Busy() || !ValidRef(ref)) {
        return;
    }
    ShowStatusMessage("");
    // A value typed and not yet reported (the focus never left the field) counts as typed.
    if (On(sp_) && sp_->Modified()) {
        OnSpChanged();
    }
    if (On(out_) && out_->Modified()) {
        OnOutChanged();
    }
    const CInstrumentModel& m = Model();
    const std::optional<SendValues> values = CheckRanges(m, ref);
    if (!values) {
        return;
    }
    const std::optional<double>& sp = values->sp;
    const std::optional<double>& out = values->out;
    const int32_t kind = KindOf(ref);
    const int32_t number = NumberOf(ref);
    const int32_t n = number - 1;
    const bool spEdited = sp.has_value() && SpEdited(m, ref);

    // What differs from the entry's state, by the buttons the rules leave enabled.
    int32_t entryMode = 0;
    int32_t entryRemote = kNone;
    int32_t entryRun = kNone;
    int32_t controllerModel = 0;
    if (kind == kEntryInternalLoop) {
        entryMode = m.internalLoops[n].modeCode;
        entryRemote = m.internalLoops[n].remote;
        entryRun = m.internalLoops[n].run;
    } else if (kind == kEntryExternalLoop) {
        entryMode = m.externalLoops[n].modeCode;
        entryRemote = m.externalLoops[n].remote;
        entryRun = m.externalLoops[n].run;
        controllerModel = m.externalLoops[n].controllerModel;
    } else {
        entryMode = m.dio[n].modeCode;
    }
    const auto checkedOn = [this](QButtonGroup* group) {
        QAbstractButton* button = group->checkedButton();
        return button != nullptr && On(button) ? group->id(button) : kNone;
    };
    const int32_t mode = checkedOn(modeGroup_);
    const int32_t remote = checkedOn(spRefGroup_);
    const int32_t running = kind != kEntryDioPoint ? checkedOn(runGroup_) : kNone;
    const bool sendMode = mode != kNone && mode != entryMode;
    const bool sendRemote = remote != kNone && remote != entryRemote &&
                            !(kind == kEntryExternalLoop && InRange(controllerModel, 1, 8));
    const bool sendRun = running != kNone && running != entryRun;

    CSequence sequence;
    const auto refusal = [this, ref](void (CLoopPanelDlg::*refused)(uint32_t)) {
        return [this, ref, refused](RzResult result) {
            // The view may have refilled the list meanwhile; the new entry shows its own state.
            if (result > 0 && ref == SelectedEntry()) {
                (this->*refused)(ref);
            }
        };
    };
    if (sendMode) {
        sequence.Then(
            [kind, number, mode](CInstrumentConnection& c) {
                return c.OperateLoopMode(kind, number, mode);
            },
            refusal(&CLoopPanelDlg::OnModeRefused));
    }
    if (sendRemote) {
        sequence.Then(
            [kind, number, remote](CInstrumentConnection& c) {
                return c.OperateLoopRemote(kind, number, remote);
            },
            refusal(&CLoopPanelDlg::OnSpRefRefused));
    }
    if (sendRun) {
        sequence.Then(
            [kind, number, running](CInstrumentConnection& c) {
                return c.OperateLoopRun(kind, number, running);
            },
            refusal(&CLoopPanelDlg::OnRunRefused));
    }
    if (spEdited) {
        sequence.Then([kind, number, value = *sp](
                          CInstrumentConnection& c) { return c.SetLoopSP(kind, number, value); },
                      [this, ref](RzResult result) {
                          if (result == RZ_OK) {
                              SetSpEdited(ref, false);
                          }
                      });
    }
    if (sendMode || sendRemote || sendRun) {
        sequence.Pause(kind == kEntryDioPoint ? kDioPauseMs : kLoopPauseMs);
    } else if (spEdited) {
        sequence.Pause(kLoopPauseMs);
    }
    if (out) {
        sequence.Then(
            [kind, number, value = *out](CInstrumentConnection& c) {
                return kind == kEntryDioPoint
                           ? c.SetDigitalOutput(number, static_cast<int32_t>(value))
                           : c.SetLoopOut(kind, number, value);
            },
            [this, ref](RzResult result) {
                if (result == RZ_OK) {
                    SetOutEdited(ref, false, std::nullopt);
                }
            });
    }
    sequence.Then(
        [kind, number](CInstrumentConnection& c) { return c.ReadLoopState(kind, number); },
        [this, ref](RzResult result) {
            if (!IsLinkBroken(result) && ref == SelectedEntry()) {
                ShowEntry(ref);
            }
        });
    const RzResult started = StartViewSequence(context_, "Send", std::move(sequence), {}, this,
                                               [this] { AddOperation(-1); });
    if (started == RZ_OK) {
        AddOperation(1);
    }
}
