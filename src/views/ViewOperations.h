#pragma once

#include <QObject>
#include <functional>

#include "session/InstrumentConnection.h"
#include "views/ViewContext.h"

// Starting an operation from the view or a panel: it runs on the connection's worker (see
// CInstrumentConnection::StartOperation), and the busy cursor shows from the start until its
// result has been handled, or until the operation is dropped (log-out, lost link, the receiver
// destroyed). A start refused because another operation runs returns LINK_E_BUSY at once, with
// the status text naming the running one, and shows no cursor.
//
// `ended` runs on the GUI thread once the operation is over for the receiver: after `done`, or
// when the result is dropped (a lost link stops the connection's operations), but never after
// the receiver is gone. A widget that disables itself while its operation runs enables itself
// there, so it never stays disabled for a result that will not come.
RzResult StartViewOperation(const CViewContext& context, const char* name,
                            CInstrumentConnection::OperationBody body,
                            CInstrumentConnection::ResultHandler done, QObject* receiver,
                            std::function<void()> ended = {});
RzResult StartViewSequence(const CViewContext& context, const char* name, CSequence sequence,
                           CInstrumentConnection::ResultHandler done, QObject* receiver,
                           std::function<void()> ended = {});
// A read the view or a panel starts itself as the consequence of an operation (the re-read
// after a display switch, an event chain): while another operation runs it waits for it rather
// than being refused, with the busy cursor shown meanwhile (see
// CInstrumentConnection::StartFollowUp). Dropped unrun on log-out or a lost link, which ends it.
RzResult StartViewFollowUp(const CViewContext& context, const char* name,
                           CInstrumentConnection::OperationBody body,
                           CInstrumentConnection::ResultHandler done, QObject* receiver,
                           std::function<void()> ended = {});

// Whether a busy cursor of an operation shows now.
bool ViewOperationCursorShown();
