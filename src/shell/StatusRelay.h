#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/StatusSink.h"

class QSocketNotifier;
class QObject;

// Carries the system's status texts to the GUI thread. While it lives it is the status sink: a
// text shown from any thread is queued under a lock and an eventfd wakes the GUI thread, which
// hands the texts in the order they were shown to `show`. The hand-over is a plain lock and a
// kernel write and read, which thread checkers see. Make and destroy it on the GUI thread;
// after destruction no text reaches `show`.
class CStatusRelay {
  public:
    explicit CStatusRelay(std::function<void(const QString&)> show);
    ~CStatusRelay();
    CStatusRelay(const CStatusRelay&) = delete;
    CStatusRelay& operator=(const CStatusRelay&) = delete;

    // Hands the texts queued so far to `show` now (GUI thread), so that a reader of the status
    // pane sees every text shown before this call.
    void Flush() { Deliver(); }

  private:
    void Post(const std::string& text);
    void Deliver();

    std::function<void(const QString&)> show_;
    std::mutex mutex_;
    std::vector<std::string> pending_;
    int wakeFd_ = -1;
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QSocketNotifier> notifier_;
    StatusSink previous_;
};
