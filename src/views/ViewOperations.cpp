#include "views/ViewOperations.h"

#include <QCursor>
#include <QGuiApplication>
#include <memory>
#include <utility>

namespace {

int cursorsShown = 0;

// Shows the busy cursor while it lives. It travels with the operation's result handler, so it
// ends when the handler has run or has been dropped unrun.
class CBusyCursor {
  public:
    CBusyCursor() {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        ++cursorsShown;
    }
    ~CBusyCursor() {
        --cursorsShown;
        QGuiApplication::restoreOverrideCursor();
    }
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;
};

template <class Start>
RzResult StartWithCursor(CInstrumentConnection::ResultHandler done, Start&& start) {
    // A refused start drops the handler at once, and the cursor with it.
    auto cursor = std::make_shared<CBusyCursor>();
    return start([cursor, done = std::move(done)](RzResult result) {
        if (done) {
            done(result);
        }
    });
}

}  // namespace

RzResult StartViewOperation(const CViewContext& context, const char* name,
                            CInstrumentConnection::OperationBody body,
                            CInstrumentConnection::ResultHandler done, QObject* receiver) {
    if (context.connection == nullptr) {
        return LINK_E_NOT_LOGGED_IN;
    }
    return StartWithCursor(std::move(done), [&](CInstrumentConnection::ResultHandler handler) {
        return context.connection->StartOperation(name, std::move(body), std::move(handler),
                                                  receiver);
    });
}

RzResult StartViewSequence(const CViewContext& context, const char* name, CSequence sequence,
                           CInstrumentConnection::ResultHandler done, QObject* receiver) {
    if (context.connection == nullptr) {
        return LINK_E_NOT_LOGGED_IN;
    }
    return StartWithCursor(std::move(done), [&](CInstrumentConnection::ResultHandler handler) {
        return context.connection->StartSequence(name, std::move(sequence), std::move(handler),
                                                 receiver);
    });
}

bool ViewOperationCursorShown() {
    return cursorsShown > 0;
}
