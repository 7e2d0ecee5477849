#pragma once

#include <QObject>
#include <memory>

#include "session/InstrumentConnection.h"
#include "ui/CommandTarget.h"
#include "views/ViewContext.h"

class QWidget;

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

    // Whether `command` is one of these: math, math reset, memory, alarm acknowledge, the
    // save-data and message drop-downs and their items, and the log reporter.
    bool Handles(CommandRef command) const;
    CommandState StateOf(CommandRef command) const;
    void Run(CommandRef command);

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
