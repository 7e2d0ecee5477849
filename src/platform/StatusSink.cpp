#include "platform/StatusSink.h"

#include <mutex>

#include "platform/Strings.h"

namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

StatusSink& CurrentSink() {
    static StatusSink sink;
    return sink;
}

}  // namespace

StatusSink SetStatusSink(StatusSink sink) {
    std::lock_guard lock(SinkMutex());
    StatusSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

void ShowStatusMessage(const std::string& text) {
    std::string shown = text;
    if (shown.size() >= 2 && shown.compare(shown.size() - 2, 2, "\r\n") == 0) {
        shown.resize(shown.size() - 2);
    }
    std::lock_guard lock(SinkMutex());
    if (CurrentSink()) {
        CurrentSink()(shown);
    }
}

void ShowStatusMessage(const char* text) {
    ShowStatusMessage(std::string(text ? text : ""));
}

void ShowStatusString(int id) {
    const char* text = RzString(id);
    if (text != nullptr) {
        ShowStatusMessage(text);
    }
}
