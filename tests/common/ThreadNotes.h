#pragma once

// Which threads ran exchange steps: links made by Factory() note the thread of every Send and
// Receive, so a test can show that none ran on the GUI thread.

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "session/ConnectionManager.h"
#include "transport/LinkSocket.h"

class CThreadNotes {
  public:
    TransportFactory Factory() {
        return [this] { return std::unique_ptr<CLinkTransport>(new NotingLink(*this)); };
    }
    // Exchange steps run on the calling thread so far.
    size_t OnThisThread() const {
        std::lock_guard hold(lock_);
        return size_t(std::count(threads_.begin(), threads_.end(), std::this_thread::get_id()));
    }
    size_t Total() const {
        std::lock_guard hold(lock_);
        return threads_.size();
    }

  private:
    class NotingLink : public CLinkSocket {
      public:
        explicit NotingLink(CThreadNotes& notes) : notes_(notes) {}
        RzResult Send(const char* request, uint32_t length) override {
            notes_.Note();
            return CLinkSocket::Send(request, length);
        }
        RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape shape) override {
            notes_.Note();
            return CLinkSocket::Receive(buffer, capacity, shape);
        }

      private:
        CThreadNotes& notes_;
    };
    void Note() {
        std::lock_guard hold(lock_);
        threads_.push_back(std::this_thread::get_id());
    }

    mutable std::mutex lock_;
    std::vector<std::thread::id> threads_;
};
