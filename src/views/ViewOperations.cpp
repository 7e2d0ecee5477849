#include "views/ViewOperations.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <memory>
#include <utility>

#include "platform/StatusSink.h"

namespace {

int cursorsShown = 0;

// Shows the busy cursor while it lives. It travels with the operation's result handler, so it
// ends when the handler has run or has been dropped unrun, and then tells the receiver.
class CBusyCursor {
  public:
    explicit CBusyCursor(QObject* receiver) : receiver_(receiver) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        ++cursorsShown;
    }
    ~CBusyCursor() {
        --cursorsShown;
        QGuiApplication::restoreOverrideCursor();
        if (ended_ && (receiver_ || !watched_)) {
            ended_();
        }
    }
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;

    void SetEnded(std::function<void()> ended) { ended_ = std::move(ended); }

  private:
    QPointer<QObject> receiver_;
    bool watched_ = !receiver_.isNull();
    std::function<void()> ended_;
};

template <class Start>
RzResult StartWithCursor(CInstrumentConnection::ResultHandler done, QObject* receiver,
                         std::function<void()> ended, Start&& start) {
    // A refused start drops the handler at once, and the cursor with it; `ended` is not for a
    // start that never ran. Why it was refused shows in the status bar.
    auto cursor = std::make_shared<CBusyCursor>(receiver);
    const RzExpected<void> started = start([cursor, done = std::move(done)](RzResult result) {
        if (done) {
            done(result);
        }
    });
    if (!started) {
        ShowStatusMessages(started.error());
        return started.code();
    }
    cursor->SetEnded(std::move(ended));
    return RZ_OK;
}

// Starts `body` through `start` (an operation or a follow-up of the connection).
RzResult StartBody(RzExpected<void> (CInstrumentConnection::*start)(
                       const char*, CInstrumentConnection::OperationBody,
                       CInstrumentConnection::ResultHandler, QObject*),
                   const CViewContext& context, const char* name,
                   CInstrumentConnection::OperationBody body,
                   CInstrumentConnection::ResultHandler done, QObject* receiver,
                   std::function<void()> ended) {
    if (context.connection == nullptr) {
        return LINK_E_NOT_LOGGED_IN;
    }
    return StartWithCursor(std::move(done), receiver, std::move(ended),
                           [&](CInstrumentConnection::ResultHandler handler) {
                               return (context.connection->*start)(name, std::move(body),
                                                                   std::move(handler), receiver);
                           });
}

}  // namespace

RzResult StartViewOperation(const CViewContext& context, const char* name,
                            CInstrumentConnection::OperationBody body,
                            CInstrumentConnection::ResultHandler done, QObject* receiver,
                            std::function<void()> ended) {
    return StartBody(&CInstrumentConnection::StartOperation, context, name, std::move(body),
                     std::move(done), receiver, std::move(ended));
}

RzResult StartViewSequence(const CViewContext& context, const char* name, CSequence sequence,
                           CInstrumentConnection::ResultHandler done, QObject* receiver,
                           std::function<void()> ended) {
    if (context.connection == nullptr) {
        return LINK_E_NOT_LOGGED_IN;
    }
    return StartWithCursor(std::move(done), receiver, std::move(ended),
                           [&](CInstrumentConnection::ResultHandler handler) {
                               return context.connection->StartSequence(
                                   name, std::move(sequence), std::move(handler), receiver);
                           });
}

RzResult StartViewFollowUp(const CViewContext& context, const char* name,
                           CInstrumentConnection::OperationBody body,
                           CInstrumentConnection::ResultHandler done, QObject* receiver,
                           std::function<void()> ended) {
    return StartBody(&CInstrumentConnection::StartFollowUp, context, name, std::move(body),
                     std::move(done), receiver, std::move(ended));
}

bool ViewOperationCursorShown() {
    return cursorsShown > 0;
}
