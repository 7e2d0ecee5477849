#include "transport/LinkFraming.h"

#include <algorithm>
#include <cstring>

namespace {

// Binary block: 4-byte lead, 4-byte big-endian length L of what follows it, then L bytes:
// flags (bit 0 = last block), 3 bytes, L - 6 payload bytes, 2 trailing bytes.
constexpr uint32_t kBlockHeader = 8;
constexpr uint32_t kBlockPayloadOffset = 12;
constexpr uint32_t kBlockOverhead = 6;
constexpr uint32_t kBlockFlags = 8;

uint32_t ReadBigEndian32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | u[3];
}

}  // namespace

void CLinkFraming::Reset() {
    received_ = 0;
    blocks_ = 0;
    area_[0] = '\0';
    status_ = FrameStatus::kIncomplete;
    payload_.Clear();
}

const char* CLinkFraming::Answer() const {
    return mode_ == RECV_BINARY ? payload_.Data() : area_;
}

FrameStep CLinkFraming::Feed(const char* data, size_t n) {
    if (status_ != FrameStatus::kIncomplete || n == 0) {
        return {status_, 0};
    }
    return mode_ == RECV_BINARY ? FeedBinary(data, n) : FeedText(data, n);
}

// Appends as much of `data` as the area holds; returns the count taken.
uint32_t CLinkFraming::CopyIn(const char* data, size_t n) {
    const auto take = static_cast<uint32_t>(std::min<size_t>(n, kReceiveAreaSize - received_));
    std::memcpy(area_ + received_, data, take);
    received_ += take;
    area_[received_] = '\0';
    return take;
}

FrameStep CLinkFraming::FeedText(const char* data, size_t n) {
    if (mode_ == RECV_LIST && received_ == 0 && data[0] != 'E') {
        // Neither a status line nor a list: nothing tells where it ends, so whatever follows
        // could be taken for the next answer.
        status_ = FrameStatus::kMalformed;
        return {status_, 0};
    }
    const uint32_t old = received_;
    const uint32_t take = CopyIn(data, n);
    const auto [stop, statusLine] = FindTextEnd(old, received_);
    if (stop != 0) {
        received_ = stop;
        area_[stop] = '\0';
        // In fixed mode the NUL after a status line counts into its length; that length is what
        // tells a status line from a fixed record.
        if (statusLine && mode_ == RECV_FIXED) {
            ++received_;
        }
        status_ = FrameStatus::kComplete;
        return {status_, stop - old};
    }
    if (take < n) {
        status_ = FrameStatus::kOverflow;
    }
    return {status_, take};
}

// Where the answer in area_[0, end) ends, given that area_[0, from) held no end; 0 if nowhere.
CLinkFraming::TextEnd CLinkFraming::FindTextEnd(uint32_t from, uint32_t end) const {
    switch (mode_) {
        case RECV_LINE:
            return {FindStatusEnd(from, end), false};
        case RECV_LIST:
            // area_[0] is 'E' here.
            if (end < 2) {
                return {0, false};
            }
            if (area_[1] != 'A') {
                return {FindLineEnd(std::max(from, 1u), end), true};
            }
            return {FindListEnd(from, end), false};
        case RECV_FIXED: {
            // Records open with "EB"; an answer opening "EA" is a status line or a list, handed
            // over alike. (A one-byte record is complete before its second byte could tell.)
            if (end >= 2 && expectedLength_ != 1 && area_[0] == 'E' && area_[1] == 'A') {
                const uint32_t stop = FindStatusEnd(from, end);
                return {stop, stop != 0};
            }
            const uint32_t lengthStop =
                (expectedLength_ > from && expectedLength_ <= end) ? expectedLength_ : 0;
            // "EB" opens a binary record, which can hold CR LF anywhere.
            if (end >= 2 && area_[0] == 'E' && area_[1] != 'B') {
                const uint32_t lineStop =
                    FindLineEnd(std::max(from, 1u), lengthStop != 0 ? lengthStop : end);
                if (lineStop != 0) {
                    return {lineStop, true};
                }
            }
            return {lengthStop, false};
        }
        default:
            return {0, false};
    }
}

// End (one past the LF) of the first CR LF whose LF lies in [from, end); 0 if none.
uint32_t CLinkFraming::FindLineEnd(uint32_t from, uint32_t end) const {
    const char* base = area_;
    while (from < end) {
        const auto* lf = static_cast<const char*>(std::memchr(base + from, '\n', end - from));
        if (lf == nullptr) {
            return 0;
        }
        const auto at = static_cast<uint32_t>(lf - base);
        if (at >= 1 && base[at - 1] == '\r') {
            return at + 1;
        }
        from = at + 1;
    }
    return 0;
}

// End of an answer that begins like a status line: its first CR LF, or, when its first line is
// "EA", the end of the list it opens. 0 if not found yet.
uint32_t CLinkFraming::FindStatusEnd(uint32_t from, uint32_t end) const {
    return OpensList(end) ? FindListEnd(from, end) : FindLineEnd(std::max(from, 1u), end);
}

bool CLinkFraming::OpensList(uint32_t end) const {
    return end >= 4 && std::memcmp(area_, "EA\r\n", 4) == 0;
}

// A list opened by "EA" CR LF ends with the line "EN"; any list ends after "END:" CR LF. Only
// line feeds among the new bytes are looked at, so a long list is scanned once.
uint32_t CLinkFraming::FindListEnd(uint32_t from, uint32_t end) const {
    const char* base = area_;
    while (from < end) {
        const auto* lf = static_cast<const char*>(std::memchr(base + from, '\n', end - from));
        if (lf == nullptr) {
            return 0;
        }
        const auto at = static_cast<uint32_t>(lf - base);
        if (at >= 7 && std::memcmp(base, "EA\r\n", 4) == 0 &&
            std::memcmp(base + at - 4, "\nEN\r", 4) == 0) {
            return at + 1;
        }
        if (at >= 5 && std::memcmp(base + at - 5, "END:\r", 5) == 0) {
            return at + 1;
        }
        from = at + 1;
    }
    return 0;
}

bool CLinkFraming::AtStatusLine() const {
    return received_ >= 2 && area_[0] == 'E' && area_[1] != 'B';
}

FrameStep CLinkFraming::FeedBinary(const char* data, size_t n) {
    size_t used = 0;
    for (;;) {
        if (AtStatusLine()) {
            // An error line (or a list) instead of, or after, blocks: it is the whole answer.
            const uint32_t old = received_;
            const uint32_t take = CopyIn(data + used, n - used);
            const uint32_t stop = FindStatusEnd(old, received_);
            if (stop == 0) {
                used += take;
                if (used < n) {
                    status_ = FrameStatus::kOverflow;
                }
                break;
            }
            area_[stop] = '\0';
            payload_.Clear();
            blocks_ = 0;
            if (!payload_.Append(area_, stop + 1)) {
                status_ = FrameStatus::kNoMemory;
                break;
            }
            used += stop - old;
            received_ = stop + 1;
            status_ = FrameStatus::kComplete;
            break;
        }
        if (received_ >= kBlockHeader) {
            const uint32_t length = ReadBigEndian32(area_ + 4);
            if (length < kBlockOverhead || length > kReceiveAreaSize - kBlockHeader) {
                status_ = FrameStatus::kMalformed;
                break;
            }
            if (length - kBlockOverhead > kLargestAnswerSize - payload_.Size()) {
                status_ = FrameStatus::kTooLarge;
                break;
            }
            const uint32_t blockSize = kBlockHeader + length;
            if (received_ == blockSize) {
                if (!payload_.Append(area_ + kBlockPayloadOffset, length - kBlockOverhead)) {
                    status_ = FrameStatus::kNoMemory;
                    break;
                }
                ++blocks_;
                if ((area_[kBlockFlags] & 1) != 0) {
                    received_ = payload_.Size();
                    status_ = FrameStatus::kComplete;
                    break;
                }
                received_ = 0;  // the next block starts with the next byte
                continue;
            }
            if (used == n) {
                break;
            }
            used += CopyIn(data + used, std::min<size_t>(n - used, blockSize - received_));
            continue;
        }
        if (used == n) {
            break;
        }
        // Take the header one byte at a time until a lone 'E' has shown whether it starts a
        // status line; then up to the end of the header.
        const uint32_t want =
            (received_ == 0 || (received_ == 1 && area_[0] == 'E')) ? 1 : kBlockHeader - received_;
        used += CopyIn(data + used, std::min<size_t>(n - used, want));
    }
    return {status_, used};
}
