#include "shell/StatusRelay.h"

#include <string>

CStatusRelay::CStatusRelay(std::function<void(const QString&)> show) : show_(std::move(show)) {
    texts_.Arm();
    previous_ = SetStatusSink([this](const std::string& text) {
        texts_.Post([this, text] {
            show_(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        });
    });
}

CStatusRelay::~CStatusRelay() {
    // The sink is called under the sink's own lock: once it is replaced, no call is in progress.
    // The texts still queued go with the dispatcher.
    SetStatusSink(std::move(previous_));
}
