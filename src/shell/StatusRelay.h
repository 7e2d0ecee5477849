#pragma once

#include <QString>
#include <functional>

#include "platform/StatusSink.h"
#include "session/GuiDispatcher.h"

// Carries the system's status texts to the GUI thread. While it lives it is the status sink: a
// text shown from any thread is handed to the GUI thread (see CGuiDispatcher), which gives the
// texts in the order they were shown to `show`. Make and destroy it on the GUI thread; after
// destruction no text reaches `show`.
class CStatusRelay {
  public:
    explicit CStatusRelay(std::function<void(const QString&)> show);
    ~CStatusRelay();
    CStatusRelay(const CStatusRelay&) = delete;
    CStatusRelay& operator=(const CStatusRelay&) = delete;

    // Hands the texts queued so far to `show` now (GUI thread), so that a reader of the status
    // pane sees every text shown before this call.
    void Flush() { texts_.Drain(); }

  private:
    std::function<void(const QString&)> show_;
    CGuiDispatcher texts_;
    StatusSink previous_;
};
