#include "shell/StatusRelay.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>

CStatusRelay::CStatusRelay(std::function<void(const QString&)> show)
    : show_(std::move(show)),
      wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      context_(std::make_unique<QObject>()) {
    if (wakeFd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_.get(),
                         [this] { Deliver(); });
    }
    previous_ = SetStatusSink([this](const std::string& text) { Post(text); });
}

CStatusRelay::~CStatusRelay() {
    // The sink is called under the sink's own lock: once it is replaced, no call is in progress.
    SetStatusSink(std::move(previous_));
    notifier_.reset();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void CStatusRelay::Post(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(text);
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }
}

void CStatusRelay::Deliver() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    std::vector<std::string> texts;
    {
        std::lock_guard lock(mutex_);
        texts.swap(pending_);
    }
    for (const std::string& text : texts) {
        show_(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
}
