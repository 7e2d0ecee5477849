#pragma once

#include <functional>
#include <string>

#include "platform/Expected.h"
#include "platform/Strings.h"

// Where operator-facing status texts go: the status bar's first pane in the console, stderr in
// rzctl, a capture in tests. The core never prints. Safe to call from any thread.
using StatusSink = std::function<void(const std::string&)>;

// Installs the sink (an empty function removes it) and returns the previous one.
StatusSink SetStatusSink(StatusSink sink);

// Removes one trailing CR LF from `text` and hands it to the sink, if one is installed.
void ShowStatusMessage(const char* text);
void ShowStatusMessage(const std::string& text);

// Shows text `id` of the string table.
void ShowStatusString(RzStr id);

// Shows the messages a failure brought, one after another in the order they arose.
void ShowStatusMessages(const RzError& error);

// Installs a sink for the lifetime of the object and restores the previous one afterwards.
class ScopedStatusSink {
  public:
    explicit ScopedStatusSink(StatusSink sink) : previous_(SetStatusSink(std::move(sink))) {}
    ~ScopedStatusSink() { SetStatusSink(std::move(previous_)); }
    ScopedStatusSink(const ScopedStatusSink&) = delete;
    ScopedStatusSink& operator=(const ScopedStatusSink&) = delete;

  private:
    StatusSink previous_;
};
