#include "views/FunctionCommands.h"

#include <QWidget>
#include <utility>

#include "platform/Strings.h"
#include "ui/Widgets.h"
#include "views/LogReporterDlg.h"
#include "views/ViewOperations.h"

namespace {

// The save-data items and the kind of data each asks the instrument to save.
struct SaveDataItem {
    Command command;
    int32_t kind;
};
constexpr SaveDataItem kSaveDataItems[] = {
    {Command::kSaveDisplay, 3},
    {Command::kSaveEvent, 4},
    {Command::kManualSample, 0},
    {Command::kManualTrigger, 1},
};

const SaveDataItem* FindSaveDataItem(Command command) {
    for (const SaveDataItem& item : kSaveDataItems) {
        if (item.command == command) {
            return &item;
        }
    }
    return nullptr;
}

// Math actions of OperateMath.
constexpr int32_t kMathStart = 1;
constexpr int32_t kMathStop = 2;
constexpr int32_t kMathReset = 3;

}  // namespace

CFunctionCommands::CFunctionCommands(const CViewContext& context, QWidget* dialogParent)
    : context_(context),
      dialogParent_(dialogParent),
      model_(std::make_unique<CInstrumentModel>()) {}

CFunctionCommands::~CFunctionCommands() = default;

bool CFunctionCommands::Handles(CommandRef command) const {
    switch (command.command) {
        case Command::kMath:
        case Command::kMathReset:
        case Command::kMemory:
        case Command::kAlarmAck:
        case Command::kSaveDataMenu:
        case Command::kWriteMessageMenu:
        case Command::kLog:
            return command.index == 0;
        case Command::kMessage:
            return command.index >= 1 && command.index <= kMessageCount;
        default:
            return command.index == 0 && FindSaveDataItem(command.command) != nullptr;
    }
}

CommandState CFunctionCommands::StateOf(CommandRef command) const {
    CommandState state;
    if (context_.connection == nullptr || !Handles(command)) {
        return state;
    }
    *model_ = context_.connection->CopyModel();
    const bool mathRunning = model_->mathRunning != 0;
    const bool memoryRunning = model_->memoryRunning != 0;
    state.enabled = true;
    switch (command.command) {
        case Command::kMath:
            state.caption = RzText(mathRunning ? RzStr::kStopMath : RzStr::kStartMath);
            break;
        case Command::kMemory:
            state.caption = RzText(memoryRunning ? RzStr::kStopMemory : RzStr::kStartMemory);
            break;
        case Command::kMathReset:
            state.enabled = !mathRunning;
            break;
        case Command::kWriteMessageMenu:
            // The dialog bar's drop-down follows the recording; the items themselves are always
            // offered, since the instrument takes a message whether or not memory runs.
            state.enabled = memoryRunning;
            break;
        default:
            break;
    }
    return state;
}

void CFunctionCommands::Run(CommandRef command) {
    if (context_.connection == nullptr || !Handles(command)) {
        return;
    }
    CInstrumentModel& model = *model_;
    switch (command.command) {
        case Command::kMath: {
            model = context_.connection->CopyModel();
            const int32_t action = model.mathRunning != 0 ? kMathStop : kMathStart;
            Start("Math", [action](CInstrumentConnection& c) { return c.OperateMath(action); });
            return;
        }
        case Command::kMathReset:
            Start("Math reset", [](CInstrumentConnection& c) { return c.OperateMath(kMathReset); });
            return;
        case Command::kMemory: {
            model = context_.connection->CopyModel();
            const int32_t start = model.memoryRunning != 0 ? 0 : 1;
            Start("Memory",
                  [start](CInstrumentConnection& c) { return c.SetMemoryRunning(start); });
            return;
        }
        case Command::kAlarmAck:
            Start("Acknowledge alarm",
                  [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); });
            return;
        case Command::kLog:
            OpenLog();
            return;
        case Command::kMessage: {
            const int32_t number = command.index;
            Start("Write message",
                  [number](CInstrumentConnection& c) { return c.WriteMessage(number); });
            return;
        }
        default:
            break;
    }
    if (const SaveDataItem* item = FindSaveDataItem(command.command)) {
        const int32_t kind = item->kind;
        CSequence sequence;
        sequence.Then([kind](CInstrumentConnection& c) { return c.SaveData(kind); })
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
