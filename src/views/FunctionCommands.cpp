#include "views/FunctionCommands.h"

#include <QWidget>
#include <utility>

#include "platform/Strings.h"
#include "ui/Widgets.h"
#include "views/LogReporterDlg.h"
#include "views/ViewOperations.h"

namespace {

constexpr int kMessages = 8;

// The save-data items and the kind of data each asks the instrument to save.
struct SaveDataItem {
    int id;
    int32_t kind;
};
constexpr SaveDataItem kSaveDataItems[] = {
    {kFunctionSaveDisplay, 3},
    {kFunctionSaveEvent, 4},
    {kFunctionManualSample, 0},
    {kFunctionManualTrigger, 1},
};

const SaveDataItem* FindSaveDataItem(int id) {
    for (const SaveDataItem& item : kSaveDataItems) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

bool IsMessage(int id) {
    return id >= kFunctionFirstMessage && id < kFunctionFirstMessage + kMessages;
}

// Math actions of ExecTL.
constexpr int32_t kMathStart = 1;
constexpr int32_t kMathStop = 2;
constexpr int32_t kMathReset = 3;

}  // namespace

CFunctionCommands::CFunctionCommands(const CViewContext& context, QWidget* dialogParent)
    : context_(context),
      dialogParent_(dialogParent),
      model_(std::make_unique<CInstrumentModel>()) {}

CFunctionCommands::~CFunctionCommands() = default;

bool CFunctionCommands::Handles(int id) const {
    return (id >= kFunctionMath && id <= kFunctionLog) || FindSaveDataItem(id) != nullptr ||
           IsMessage(id);
}

CommandState CFunctionCommands::StateOf(int id) const {
    CommandState state;
    if (context_.connection == nullptr || !Handles(id)) {
        return state;
    }
    *model_ = context_.connection->CopyModel();
    const bool mathRunning = model_->mathRunning != 0;
    const bool memoryRunning = model_->memoryRunning != 0;
    state.enabled = true;
    switch (id) {
        case kFunctionMath:
            state.caption = RzText(mathRunning ? 61250 : 61249);
            break;
        case kFunctionMemory:
            state.caption = RzText(memoryRunning ? 61252 : 61251);
            break;
        case kFunctionMathReset:
            state.enabled = !mathRunning;
            break;
        case kFunctionWriteMessage:
            // The dialog bar's drop-down follows the recording; the items themselves are always
            // offered, since the instrument takes a message whether or not memory runs.
            state.enabled = memoryRunning;
            break;
        default:
            break;
    }
    return state;
}

void CFunctionCommands::Run(int id) {
    if (context_.connection == nullptr) {
        return;
    }
    CInstrumentModel& model = *model_;
    switch (id) {
        case kFunctionMath: {
            model = context_.connection->CopyModel();
            const int32_t action = model.mathRunning != 0 ? kMathStop : kMathStart;
            Start("Math", [action](CInstrumentConnection& c) { return c.ExecTL(action); });
            return;
        }
        case kFunctionMathReset:
            Start("Math reset", [](CInstrumentConnection& c) { return c.ExecTL(kMathReset); });
            return;
        case kFunctionMemory: {
            model = context_.connection->CopyModel();
            const int32_t start = model.memoryRunning != 0 ? 0 : 1;
            Start("Memory", [start](CInstrumentConnection& c) { return c.ExecPS(start); });
            return;
        }
        case kFunctionAlarmAck:
            Start("Acknowledge alarm",
                  [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); });
            return;
        case kFunctionLog:
            OpenLog();
            return;
        default:
            break;
    }
    if (IsMessage(id)) {
        const int32_t number = id - kFunctionFirstMessage + 1;
        Start("Write message",
              [number](CInstrumentConnection& c) { return c.WriteMessage(number); });
    } else if (const SaveDataItem* item = FindSaveDataItem(id)) {
        const int32_t kind = item->kind;
        CSequence sequence;
        sequence.Then([kind](CInstrumentConnection& c) { return c.ExecEV(kind); })
            .Pause(kSaveDataBusyMs);
        StartSequence("Save data", std::move(sequence));
    }
}

void CFunctionCommands::Start(const char* name, CInstrumentConnection::OperationBody body) {
    // The result itself is not shown: a refusal is in the status bar already, and the running
    // flags change only when the instrument took the command.
    StartViewOperation(
        context_, name, std::move(body), [this](RzResult) { emit StatesChanged(); }, this);
}

void CFunctionCommands::StartSequence(const char* name, CSequence sequence) {
    StartViewSequence(
        context_, name, std::move(sequence), [this](RzResult) { emit StatesChanged(); }, this);
}

void CFunctionCommands::OpenLog() {
    auto* dialog = new CLogReporterDlg(context_, dialogParent_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
