#include "platform/StatusSink.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/Strings.h"

namespace {

// The installed sink. The mutex guards only the pointer: a sink runs without it, so a sink may
// report again, or wait for a thread that reports, without a deadlock. Each running call holds a
// reference to its sink, and SetStatusSink waits for those to end, so once it returns the
// previous sink is no longer called (except by a sink that replaces itself while it runs).
struct SinkState {
    std::mutex mutex;
    std::condition_variable callEnded;
    std::shared_ptr<const StatusSink> sink;
};

SinkState& State() {
    static SinkState state;
    return state;
}

// How many sink calls the current thread is inside.
thread_local int sinkCallDepth = 0;

}  // namespace

StatusSink SetStatusSink(StatusSink sink) {
    SinkState& state = State();
    auto next = sink ? std::make_shared<const StatusSink>(std::move(sink)) : nullptr;
    std::unique_lock lock(state.mutex);
    std::shared_ptr<const StatusSink> previous = std::move(state.sink);
    state.sink = std::move(next);
    if (previous && sinkCallDepth == 0) {
        state.callEnded.wait(lock, [&] { return previous.use_count() == 1; });
    }
    return previous ? *previous : StatusSink();
}

void ShowStatusMessage(const std::string& text) {
    std::string shown = text;
    if (shown.size() >= 2 && shown.compare(shown.size() - 2, 2, "\r\n") == 0) {
        shown.resize(shown.size() - 2);
    }
    SinkState& state = State();
    std::shared_ptr<const StatusSink> sink;
    {
        std::lock_guard lock(state.mutex);
        sink = state.sink;
    }
    if (!sink) {
        return;
    }
    ++sinkCallDepth;
    (*sink)(shown);
    --sinkCallDepth;
    {
        std::lock_guard lock(state.mutex);
        sink.reset();
    }
    state.callEnded.notify_all();
}

void ShowStatusMessage(const char* text) {
    ShowStatusMessage(std::string(text ? text : ""));
}

void ShowStatusString(RzStr id) {
    ShowStatusMessage(RzString(id));
}

void ShowStatusMessages(const RzError& error) {
    for (const std::string& message : error.messages) {
        ShowStatusMessage(message);
    }
}
