#pragma once

#include <QObject>
#include <memory>

#include "session/InstrumentConnection.h"
#include "ui/CommandTarget.h"
#include "views/ViewContext.h"

class QWidget;

// Command ids of the instrument's functions, as the main window's table names them.
enum FunctionCommandId : int {
    kFunctionMath = 2000,
    kFunctionMathReset = 2001,
    kFunctionMemory = 2002,
    kFunctionAlarmAck = 2003,
    kFunctionSaveData = 2004,      // the drop-down of the save-data items
    kFunctionWriteMessage = 2005,  // the drop-down of the message items
    kFunctionLog = 2006,
    kFunctionSaveDisplay = 2051,
    kFunctionSaveEvent = 2052,
    kFunctionManualSample = 2053,
    kFunctionManualTrigger = 2054,
    kFunctionFirstMessage = 2100,  // Message 1; Message 8 is 2107
};

// The commands that operate the instrument's functions rather than its display: math and
// memory start and stop, math reset, alarm acknowledge, the eight messages, saving data on the
// instrument, and the log reporter. Each exchange runs as an operation of the connection; the
// running flags the captions follow change only when the instrument took the command, and the
// states are read from the published model whenever asked.
class CFunctionCommands : public QObject {
    Q_OBJECT
  public:
    // How long a save-data command keeps the console busy after its request, the time the
    // instrument is given to write the data out.
    static constexpr uint32_t kSaveDataBusyMs = 1000;

    // `dialogParent` owns the log reporter while it is open.
    CFunctionCommands(const CViewContext& context, QWidget* dialogParent);
    ~CFunctionCommands() override;

    bool Handles(int id) const;
    CommandState StateOf(int id) const;
    void Run(int id);

  signals:
    // An operation of these commands ended: states shown in menus and on buttons may differ.
    void StatesChanged();

  private:
    void Start(const char* name, CInstrumentConnection::OperationBody body);
    void StartSequence(const char* name, CSequence sequence);
    void OpenLog();

    CViewContext context_;
    QWidget* dialogParent_;
    std::unique_ptr<CInstrumentModel> model_;  // the published model, copied when states are asked
};
