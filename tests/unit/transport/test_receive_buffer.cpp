#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "transport/ReceiveBuffer.h"

namespace {

std::string Contents(const CReceiveBuffer& buffer) {
    return buffer.Size() == 0 ? std::string() : std::string(buffer.Data(), buffer.Size());
}

std::string Bytes(uint32_t n, char first) {
    std::string s(n, '\0');
    for (uint32_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(first + i % 23);
    }
    return s;
}

}  // namespace

TEST(ReceiveBuffer, RefusedAppendLeavesBufferUnchanged) {
    CReceiveBuffer buffer;
    ASSERT_TRUE(buffer.Append("abc", 3));
    const char* block = buffer.Data();
    // A size whose block would not fit in 32 bits is refused before anything is read or moved.
    EXPECT_FALSE(buffer.Append("x", UINT32_MAX - 4096 + 1));
    EXPECT_FALSE(buffer.Append(nullptr, 5));
    EXPECT_EQ(buffer.Data(), block);
    EXPECT_EQ(buffer.Capacity(), 4096u);
    EXPECT_EQ(Contents(buffer), "abc");
}

TEST(ReceiveBuffer, CopyOutNeedsRoomForTheWholeContents) {
    struct Case {
        uint32_t size;
        uint32_t capacity;
        std::optional<uint32_t> length;  // none: refused
    };
    const Case cases[] = {{10, 9, {}}, {10, 10, 10}, {0, 0, 0}, {1, 0, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " capacity " << c.capacity);
        CReceiveBuffer buffer;
        const std::string data = Bytes(c.size, 'A');
        ASSERT_TRUE(buffer.Append(data.data(), c.size));
        std::string out(c.capacity + 1, '#');
        const std::optional<uint32_t> length = buffer.CopyOut(out.data(), c.capacity);
        EXPECT_EQ(length, c.length);
        if (length) {
            EXPECT_EQ(out.substr(0, *length), data);
        } else {
            EXPECT_EQ(out, std::string(c.capacity + 1, '#'));  // nothing written on refusal
        }
    }
}

// Growing keeps what was there; Clear keeps the block for the next answer.
TEST(ReceiveBuffer, GrowingKeepsTheContentsAndClearKeepsTheBlock) {
    CReceiveBuffer buffer;
    const std::string image = Bytes(20000, '0');
    ASSERT_TRUE(buffer.Append(image.data(), 10));
    ASSERT_TRUE(buffer.Append(image.data() + 10, 19990));
    EXPECT_EQ(Contents(buffer), image);
    const char* block = buffer.Data();
    const uint32_t capacity = buffer.Capacity();
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0u);
    for (size_t at = 0; at < image.size(); at += 5000) {
        ASSERT_TRUE(buffer.Append(image.data() + at, 5000));
    }
    EXPECT_EQ(Contents(buffer), image);
    EXPECT_EQ(buffer.Data(), block);
    EXPECT_EQ(buffer.Capacity(), capacity);
}
