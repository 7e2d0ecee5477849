// The view's commands: display switching, Style shift, Refresh and Save image.
#include <QFile>
#include <QPointer>

#include "image/ImageFile.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "ui/Widgets.h"
#include "views/FunctionCommands.h"
#include "views/ImageSave.h"
#include "views/ImageWindow.h"
#include "views/RzView.h"
#include "views/SimplePanelDlg.h"
#include "views/ViewOperations.h"

namespace {

enum ViewCommand : int {
    kControlGroup1 = 501,
    kControlGroup8 = 508,
    kInternalSwitch = 550,
    kDioStatus = 551,
    kProgram = 552,
    kControlOverview = 553,
    kControllerStyle = 580,
    kHybridStyle = 582,
    kTrendGroup1 = 601,
    kAllChannels = 650,
    kGroupChannels = 651,
    kScale = 652,
    kDigital = 653,
    kDigitalGroup1 = 701,
    kBarGroup1 = 801,
    kRefresh = 32775,
    kOverview = 32791,
    kStyleShift = 32793,
    kSaveImage = 32795,
    kPattern1 = 32818,
    kPattern30 = 32847,
};
constexpr int kMeasureGroups = 10;

bool Within(int id, int first, int count) {
    return id >= first && id < first + count;
}

// The display kind and display code of the commands that show one display without a group.
struct PlainDisplay {
    int id;
    int32_t kind;
    int32_t code;
};
constexpr PlainDisplay kPlainDisplays[] = {
    {kControlOverview, 2, 10}, {kInternalSwitch, 3, 14}, {kDioStatus, 7, 12},
    {kProgram, 5, 11},         {kOverview, 6, 3},
};

const PlainDisplay* FindPlainDisplay(int id) {
    for (const PlainDisplay& d : kPlainDisplays) {
        if (d.id == id) {
            return &d;
        }
    }
    return nullptr;
}

bool IsViewCommand(int id) {
    return Within(id, kControlGroup1, 8) || FindPlainDisplay(id) != nullptr ||
           Within(id, kControllerStyle, 3) || Within(id, kTrendGroup1, kMeasureGroups) ||
           Within(id, kDigitalGroup1, kMeasureGroups) || Within(id, kBarGroup1, kMeasureGroups) ||
           Within(id, kAllChannels, 4) || Within(id, kPattern1, 30) || id == kRefresh ||
           id == kStyleShift || id == kSaveImage;
}

// Display codes of the control-group display in styles 0 (CONTROLLER), 1 (FACEPLATE), 2
// (HYBRID).
int32_t ControlStyleCode(int32_t style) {
    return style == 1 ? 7 : (style == 2 ? 9 : 8);
}

}  // namespace

CommandState CRZView::StateOf(int id) const {
    if (functions_->Handles(id)) {
        return functions_->StateOf(id);
    }
    CommandState state;
    if (context_.connection == nullptr || !IsViewCommand(id)) {
        return state;
    }
    state.enabled = true;
    if (Within(id, kControllerStyle, 3)) {
        const CViewState s = State();
        state.enabled = s.displayKind == 1;
        state.checked = s.controlStyle == id - kControllerStyle;
    } else if (Within(id, kAllChannels, 4)) {
        const CViewState s = State();
        state.enabled = s.displayKind == 4 && s.measurePage == 0;
        const bool on = [&] {
            switch (id) {
                case kAllChannels:
                    return (s.trendOptions & 1) != 0;
                case kScale:
                    return (s.trendOptions & 2) != 0;
                case kDigital:
                    return (s.trendOptions & 4) != 0;
                default:
                    return false;
            }
        }();
        // The caption names what choosing the item does.
        if (id == kAllChannels) {
            state.caption = on ? tr("&Group Channels") : tr("&All Channels");
        } else if (id == kScale) {
            state.caption = on ? tr("S&cale OFF") : tr("S&cale ON");
        } else if (id == kDigital) {
            state.caption = on ? tr("Di&gital OFF") : tr("Di&gital ON");
        }
    } else if (id == kStyleShift || id == kProgram || id == kInternalSwitch) {
        const Facts f = ReadFacts();
        const bool levelA = f.accessLevel == 'A';
        if (id == kStyleShift) {
            state.enabled = levelA;
        } else if (id == kProgram) {
            state.enabled =
                f.firmwareMajor != 1 && f.loopCount >= 1 && levelA && f.programOption != 0;
        } else {
            state.enabled = f.firmwareMajor >= 3 && levelA;
        }
    }
    return state;
}

void CRZView::Run(int id) {
    if (functions_->Handles(id)) {
        functions_->Run(id);
        return;
    }
    if (!StateOf(id).enabled) {
        return;
    }
    if (Within(id, kControlGroup1, 8)) {
        RunControlGroup(id - kControlGroup1);
    } else if (Within(id, kTrendGroup1, kMeasureGroups)) {
        RunMeasureGroup(id - kTrendGroup1, 0);
    } else if (Within(id, kDigitalGroup1, kMeasureGroups)) {
        RunMeasureGroup(id - kDigitalGroup1, 1);
    } else if (Within(id, kBarGroup1, kMeasureGroups)) {
        RunMeasureGroup(id - kBarGroup1, 2);
    } else if (const PlainDisplay* d = FindPlainDisplay(id)) {
        RunDisplayKind(d->kind, d->code);
    } else if (Within(id, kControllerStyle, 3)) {
        RunStyle(id - kControllerStyle);
    } else if (Within(id, kAllChannels, 4)) {
        constexpr int32_t kToggled[] = {1, 0, 2, 4};  // 650 all, 651 none, 652 scale, 653 digital
        RunTrendOption(kToggled[id - kAllChannels]);
    } else if (Within(id, kPattern1, 30)) {
        RunPattern(id - kPattern1 + 1);
    } else if (id == kStyleShift) {
        RunStyleShift();
    } else if (id == kRefresh) {
        RunRefresh();
    } else if (id == kSaveImage) {
        RunSaveImage();
    }
}

// Each display command decides from the display state as it finds it; a switch it sends is
// started before the state changes, so a refused start leaves the state as it was.

void CRZView::RunControlGroup(int index) {
    if (RefusedWhileBusy()) {
        return;
    }
    const CViewState s = State();
    if (!StartSwitch(ControlStyleCode(s.controlStyle), index + 1)) {
        return;
    }
    if (s.displayKind != 1) {
        context_.connection->UpdateViewState([](CViewState& v) { v.displayKind = 1; });
        Publish(kDisplayKindChanged, 1);
    }
    context_.connection->UpdateViewState([index](CViewState& v) { v.displayGroup = index; });
    Publish(kDisplayGroupChanged, index);
}

void CRZView::RunMeasureGroup(int index, int page) {
    if (RefusedWhileBusy()) {
        return;
    }
    const CViewState s = State();
    const bool kindChanged = s.displayKind != 4;
    const bool groupChanged = kindChanged || s.displayGroup != index;
    const bool pageChanged = s.measurePage != page;
    if ((groupChanged || pageChanged) && ImageShownNow() && !StartSwitch(page, index + 1)) {
        return;
    }
    CInstrumentConnection& c = *context_.connection;
    if (kindChanged) {
        c.UpdateViewState([](CViewState& v) { v.displayKind = 4; });
        Publish(kDisplayKindChanged, 4);
    }
    if (groupChanged) {
        c.UpdateViewState([index](CViewState& v) { v.displayGroup = index; });
        Publish(kDisplayGroupChanged, index);
    }
    if (pageChanged) {
        c.UpdateViewState([page](CViewState& v) { v.measurePage = page; });
    }
}

void CRZView::RunDisplayKind(int32_t kind, int32_t code) {
    if (RefusedWhileBusy() || State().displayKind == kind) {
        return;
    }
    if (ImageShownNow() && !StartSwitch(code, 0)) {
        return;
    }
    context_.connection->UpdateViewState([kind](CViewState& v) { v.displayKind = kind; });
    Publish(kDisplayKindChanged, kind);
}

void CRZView::RunStyle(int32_t style) {
    if (RefusedWhileBusy()) {
        return;
    }
    const CViewState s = State();
    // The state follows when the instrument has taken the switch.
    if (ImageShownNow() && s.controlStyle != style) {
        StartSwitch(ControlStyleCode(style), s.displayGroup + 1);
    }
}

void CRZView::RunTrendOption(int32_t toggledBits) {
    const int32_t options = State().trendOptions ^ toggledBits;
    StartViewOperation(
        context_, "Trend options",
        [options](CInstrumentConnection& c) {
            return c.SetTrendOptions(options & 1, options & 2, options & 4);
        },
        [this](RzResult) { emit CommandStatesChanged(); }, this);
}

void CRZView::RunPattern(int32_t pattern) {
    StartViewOperation(
        context_, "Pattern selection",
        [pattern](CInstrumentConnection& c) { return c.Exec4(pattern); },
        [this](RzResult result) {
            if (result == RZ_OK && State().displayKind != 5) {
                context_.connection->UpdateViewState([](CViewState& v) { v.displayKind = 5; });
                Publish(kDisplayKindChanged, 5);
            }
            emit CommandStatesChanged();
        },
        this);
}

void CRZView::RunStyleShift() {
    const bool loop = !loop_->isHidden();
    const bool program = !program_->isHidden();
    const bool image = !image_->isHidden();
    const int height = !image && ReadFacts().modelClass == 3200 ? 482 : 422;
    for (QWidget* panel : {program_, loop_}) {
        panel->resize(panel->width(), height);
    }
    ArrangePanels(!image, image, loop, program);
}

void CRZView::RunRefresh() {
    ShowStatusMessage("");
    const int32_t kind = State().displayKind;
    // The steps the instrument refused, named on the worker (their list is under the connection
    // lock, which the GUI thread never waits for).
    auto refused = std::make_shared<std::string>();
    StartViewOperation(
        context_, "Refresh",
        [refused](CInstrumentConnection& c) {
            const RzResult result = c.Refresh();
            for (const std::string& step : c.RefusedLoadSteps()) {
                *refused += (refused->empty() ? "" : ", ") + step;
            }
            return result;
        },
        [this, kind, refused](RzResult result) {
            CInstrumentConnection& c = *context_.connection;
            // A lost link is reported as such when the connection closes.
            if (result < 0 && !IsLinkBroken(result)) {
                ShowStatusMessage(std::string("Refresh failed: ") + ResultCodeName(result));
            } else if (result >= 0 && !refused->empty()) {
                ShowStatusMessage("Refresh incomplete: the instrument refused " + *refused);
            }
            OnDataRefreshed();
            if (!simple_->isHidden()) {
                c.UpdateViewState([kind](CViewState& v) { v.displayKind = kind; });
            }
            const CViewState s = State();
            Publish(kDisplayKindChanged, s.displayKind);
            if (!image_->isHidden() && (kind == 1 || kind == 4)) {
                Publish(kDisplayGroupChanged, s.displayGroup);
            }
            emit CommandStatesChanged();
        },
        this);
}

void CRZView::RunSaveImage() {
    // The saved copy stays as it is while the dialog is open.
    image_->SetCopyEnabled(false);
    QPointer<CImageWindow> window(image_);
    // A copy: the view may be destroyed while the dialog is open.
    const SavePathChooser choose = choosePath_;
    const QString path = choose ? choose(image_) : ChooseImageSavePath(image_);
    if (path.isEmpty()) {
        if (window) {
            window->SetCopyEnabled(true);
        }
        return;
    }
    if (!window) {
        // The view went away while the dialog was open (log-out, lost link).
        ShowMessageBox(nullptr, QMessageBox::NoIcon, tr("RZ Operator"),
                       RzText(RzStr::kImageWindowGone));
        return;
    }
    // Written beside the file and renamed into place: a failed save leaves an existing file as
    // it was and no partial new one.
    const RzResult result =
        SaveImageFile(window->SavedCopy(), QFile::encodeName(path).toStdString());
    if (result != RZ_OK) {
        ShowMessageBox(window, QMessageBox::Warning, tr("Error"), RzText(RzStr::kFileNotSaved));
    }
    if (window) {
        window->SetCopyEnabled(true);
    }
}
