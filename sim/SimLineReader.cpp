#include "SimLineReader.h"

CSimLineReader::Result CSimLineReader::Next(std::string* line) {
    for (;;) {
        const size_t end = pending_.find('\n');
        if (discarding_) {
            if (end == std::string::npos) {
                pending_.clear();
                return Result::kNone;
            }
            pending_.erase(0, end + 1);
            discarding_ = false;
            continue;
        }
        if (end == std::string::npos) {
            // Up to kMaxLine bytes and a CR may still make a valid line.
            if (pending_.size() <= kMaxLine + 1) {
                return Result::kNone;
            }
            *line = pending_.substr(0, kMaxLine);
            pending_.clear();
            discarding_ = true;
            return Result::kOverlong;
        }
        size_t length = end;
        if (length > 0 && pending_[length - 1] == '\r') {
            --length;
        }
        if (length > kMaxLine) {
            *line = pending_.substr(0, kMaxLine);
            pending_.erase(0, end + 1);
            return Result::kOverlong;
        }
        line->assign(pending_, 0, length);
        pending_.erase(0, end + 1);
        return Result::kLine;
    }
}
