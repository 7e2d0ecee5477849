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

// The display kind and display code of the commands that show one display without a group.
struct PlainDisplay {
    Command command;
    int32_t kind;
    int32_t code;
};
constexpr PlainDisplay kPlainDisplays[] = {
    {Command::kControlOverview, 2, 10}, {Command::kInternalSwitch, 3, 14},
    {Command::kDioStatus, 7, 12},       {Command::kProgram, 5, 11},
    {Command::kOverview, 6, 3},
};

const PlainDisplay* FindPlainDisplay(Command command) {
    for (const PlainDisplay& d : kPlainDisplays) {
        if (d.command == command) {
            return &d;
        }
    }
    return nullptr;
}

// The control style a style command shows: 0 CONTROLLER, 1 FACEPLATE, 2 HYBRID.
int32_t StyleOf(Command command) {
    return command == Command::kFaceplateStyle ? 1 : (command == Command::kHybridStyle ? 2 : 0);
}

// The bit of the trend options a trend-option command toggles; Group channels toggles none.
int32_t TrendOptionBit(Command command) {
    switch (command) {
        case Command::kAllChannels:
            return 1;
        case Command::kTrendScale:
            return 2;
        case Command::kTrendDigital:
            return 4;
        default:
            return 0;
    }
}

bool IsViewCommand(CommandRef command) {
    const auto member = [&](int count) { return command.index >= 1 && command.index <= count; };
    switch (command.command) {
        case Command::kControlGroup:
            return member(kControlGroupCount);
        case Command::kTrendGroup:
        case Command::kDigitalGroup:
        case Command::kBarGroup:
            return member(kMeasureGroupCount);
        case Command::kPattern:
            return member(kPatternCount);
        case Command::kControllerStyle:
        case Command::kFaceplateStyle:
        case Command::kHybridStyle:
        case Command::kAllChannels:
        case Command::kGroupChannels:
        case Command::kTrendScale:
        case Command::kTrendDigital:
        case Command::kRefresh:
        case Command::kStyleShift:
        case Command::kSaveImage:
            return command.index == 0;
        default:
            return command.index == 0 && FindPlainDisplay(command.command) != nullptr;
    }
}

// Display codes of the control-group display in styles 0 (CONTROLLER), 1 (FACEPLATE), 2
// (HYBRID).
int32_t ControlStyleCode(int32_t style) {
    return style == 1 ? 7 : (style == 2 ? 9 : 8);
}

}  // namespace

CommandState CRZView::StateOf(CommandRef command) const {
    if (functions_->Handles(command)) {
        return functions_->StateOf(command);
    }
    CommandState state;
    if (context_.connection == nullptr || !IsViewCommand(command)) {
        return state;
    }
    state.enabled = true;
    switch (command.command) {
        case Command::kControllerStyle:
        case Command::kFaceplateStyle:
        case Command::kHybridStyle: {
            const CViewState s = State();
            state.enabled = s.displayKind == 1;
            state.checked = s.controlStyle == StyleOf(command.command);
            break;
        }
        case Command::kAllChannels:
        case Command::kGroupChannels:
        case Command::kTrendScale:
        case Command::kTrendDigital: {
            const CViewState s = State();
            state.enabled = s.displayKind == 4 && s.measurePage == 0;
            const bool on = (s.trendOptions & TrendOptionBit(command.command)) != 0;
            // The caption names what choosing the item does.
            if (command.command == Command::kAllChannels) {
                state.caption = on ? tr("&Group Channels") : tr("&All Channels");
            } else if (command.command == Command::kTrendScale) {
                state.caption = on ? tr("S&cale OFF") : tr("S&cale ON");
            } else if (command.command == Command::kTrendDigital) {
                state.caption = on ? tr("Di&gital OFF") : tr("Di&gital ON");
            }
            break;
        }
        case Command::kStyleShift:
            state.enabled = ReadFacts().accessLevel == 'A';
            break;
        case Command::kProgram: {
            const Facts f = ReadFacts();
            state.enabled = f.firmwareMajor != 1 && f.loopCount >= 1 && f.accessLevel == 'A' &&
                            f.programOption != 0;
            break;
        }
        case Command::kInternalSwitch: {
            const Facts f = ReadFacts();
            state.enabled = f.firmwareMajor >= 3 && f.accessLevel == 'A';
            break;
        }
        default:
            break;
    }
    return state;
}

void CRZView::Run(CommandRef command) {
    if (functions_->Handles(command)) {
        functions_->Run(command);
        return;
    }
    if (!StateOf(command).enabled) {
        return;
    }
    switch (command.command) {
        case Command::kControlGroup:
            RunControlGroup(command.index - 1);
            break;
        case Command::kTrendGroup:
            RunMeasureGroup(command.index - 1, 0);
            break;
        case Command::kDigitalGroup:
            RunMeasureGroup(command.index - 1, 1);
            break;
        case Command::kBarGroup:
            RunMeasureGroup(command.index - 1, 2);
            break;
        case Command::kControllerStyle:
        case Command::kFaceplateStyle:
        case Command::kHybridStyle:
            RunStyle(StyleOf(command.command));
            break;
        case Command::kAllChannels:
        case Command::kGroupChannels:
        case Command::kTrendScale:
        case Command::kTrendDigital:
            RunTrendOption(TrendOptionBit(command.command));
            break;
        case Command::kPattern:
            RunPattern(command.index);
            break;
        case Command::kStyleShift:
            RunStyleShift();
            break;
        case Command::kRefresh:
            RunRefresh();
            break;
        case Command::kSaveImage:
            RunSaveImage();
            break;
        default:
            if (const PlainDisplay* d = FindPlainDisplay(command.command)) {
                RunDisplayKind(d->kind, d->code);
            }
            break;
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
        Publish(kDisplayKindEvent, 1);
    }
    context_.connection->UpdateViewState([index](CViewState& v) { v.displayGroup = index; });
    Publish(kDisplayGroupEvent, index);
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
        Publish(kDisplayKindEvent, 4);
    }
    if (groupChanged) {
        c.UpdateViewState([index](CViewState& v) { v.displayGroup = index; });
        Publish(kDisplayGroupEvent, index);
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
    Publish(kDisplayKindEvent, kind);
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
        [pattern](CInstrumentConnection& c) { return c.ShowPattern(pattern); },
        [this](RzResult result) {
            if (result == RZ_OK && State().displayKind != 5) {
                context_.connection->UpdateViewState([](CViewState& v) { v.displayKind = 5; });
                Publish(kDisplayKindEvent, 5);
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
            Publish(kDisplayKindEvent, s.displayKind);
            if (!image_->isHidden() && (kind == 1 || kind == 4)) {
                Publish(kDisplayGroupEvent, s.displayGroup);
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
