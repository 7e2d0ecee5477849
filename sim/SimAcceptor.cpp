#include "SimAcceptor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

CSimAcceptor::~CSimAcceptor() {
    Stop();
    for (int* fd : {&wakeRead_, &wakeWrite_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

bool CSimAcceptor::Start(std::string* error) {
    if (wakeRead_ < 0) {
        int wake[2];
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            *error = std::string("pipe: ") + std::strerror(errno);
            return false;
        }
        wakeRead_ = wake[0];
        wakeWrite_ = wake[1];
    }
    stopping_ = false;
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error& e) {
        *error = std::string("accept thread: ") + e.what();
        return false;
    }
    return true;
}

void CSimAcceptor::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    Wake();
    thread_.join();
}

void CSimAcceptor::Add(int fd, Readable readable) {
    {
        std::lock_guard lock(mutex_);
        listeners_.push_back({fd, std::move(readable)});
        ++changes_;
    }
    Wake();
}

void CSimAcceptor::Remove(int fd) {
    std::unique_lock lock(mutex_);
    std::erase_if(listeners_, [fd](const Listener& listener) { return listener.fd == fd; });
    const uint64_t change = ++changes_;
    if (waiting_ && watching_ < change) {
        Wake();
        idle_.wait(lock, [&] { return !waiting_ || watching_ >= change; });
    }
}

void CSimAcceptor::Wake() {
    const char byte = 1;
    // A full pipe wakes the thread as well as one more byte would.
    while (write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
}

void CSimAcceptor::Loop() {
    std::vector<pollfd> fds;
    bool backOff = false;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            fds.assign(1, {wakeRead_, POLLIN, 0});
            // While backing off, only a change or the stop ends the pause.
            for (size_t i = 0; i < listeners_.size() && !backOff; ++i) {
                fds.push_back({listeners_[i].fd, POLLIN, 0});
            }
            watching_ = changes_;
            waiting_ = true;
        }
        const int ready = poll(fds.data(), fds.size(), backOff ? kBackOffMs : -1);
        const int pollError = errno;
        std::lock_guard lock(mutex_);
        waiting_ = false;
        idle_.notify_all();
        backOff = false;
        if (ready < 0) {
            if (pollError == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            char sink[64];
            while (read(wakeRead_, sink, sizeof sink) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            // A listener removed meanwhile is no longer in the list.
            for (const Listener& listener : listeners_) {
                if (listener.fd == fds[i].fd && !listener.readable()) {
                    backOff = true;
                }
            }
        }
    }
}
