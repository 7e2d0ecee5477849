#pragma once

#include <QObject>

#include "session/InstrumentConnection.h"
#include "views/ViewContext.h"

// Starting an operation from the view or a panel: it runs on the connection's worker (see
// CInstrumentConnection::StartOperation), and the busy cursor shows from the start until its
// result has been handled, or until the operation is dropped (log-out, lost link, the receiver
// destroyed). A start refused because another operation runs returns LINK_E_BUSY at once, with
// the status text naming the running one, and shows no cursor.
RzResult StartViewOperation(const CViewContext& context, const char* name,
                            CInstrumentConnection::OperationBody body,
                            CInstrumentConnection::ResultHandler done, QObject* receiver);
RzResult StartViewSequence(const CViewContext& context, const char* name, CSequence sequence,
                           CInstrumentConnection::ResultHandler done, QObject* receiver);

// Whether a busy cursor of an operation shows now.
bool ViewOperationCursorShown();
