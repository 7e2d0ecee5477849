#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/DisplayCommands.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

namespace {

// Group displays take 1 to the display or control group count, other displays ignore the group
// field; display codes without a display and kinds other than 1 and 4 are refused. Every
// request is answered "E1", so the status result is seen to reach the caller.
TEST(CmdUD, RequestTextsAndRangeChecks) {
    const struct {
        int32_t modelClass;
        int32_t kind, display, group, option2, option3;
        const char* request;  // nullptr: refused with `refusal`, nothing sent
        RzResult refusal;
    } cases[] = {{3100, 1, 0, 6, 0, 0, "UD 1,TREND,6", RZ_OK},
                 {3100, 1, 0, 1, 0, 0, "UD 1,TREND,1", RZ_OK},
                 {3100, 1, 0, 0, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3100, 1, 0, 7, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3200, 1, 2, 10, 0, 0, "UD 1,BAR,10", RZ_OK},
                 {3200, 1, 2, 11, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3100, 1, 7, 4, 0, 0, "UD 1,FACEPLATE,4", RZ_OK},
                 {3100, 1, 8, 5, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3200, 1, 8, 5, 0, 0, "UD 1,CONTROLLER,5", RZ_OK},
                 {3200, 1, 9, 8, 0, 0, "UD 1,HYBRID,8", RZ_OK},
                 {3200, 1, 9, 9, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3200, 1, 7, -2147483647 - 1, 0, 0, nullptr, LINK_E_PARAMETER},
                 {3100, 1, 3, 99, 0, 0, "UD 1,OVERVIEW", RZ_OK},
                 {3100, 1, 15, 0, 0, 0, "UD 1,EVENTSUMMARY", RZ_OK},
                 {3100, 1, 6, 1, 0, 0, nullptr, LINK_E_KIND},
                 {3100, 1, 16, 1, 0, 0, nullptr, LINK_E_KIND},
                 {3100, 0, 0, 1, 0, 0, nullptr, LINK_E_KIND},
                 {3100, 2, 0, 1, 0, 0, nullptr, LINK_E_KIND},
                 {3100, 4, 0, 0, 0, 0, "UD 4,OFF,GROUP,OFF,OFF", RZ_OK},
                 {3100, 4, 1, 0, 0, 1, "UD 4,ON,GROUP,OFF,ON", RZ_OK},
                 {3200, 4, -7, 5, -3, 9, "UD 4,ON,All,ON,ON", RZ_OK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "model " << c.modelClass << " kind " << c.kind
                                          << " display " << c.display << " group " << c.group);
        auto model = MakeModel(c.modelClass);
        FakeLink link;
        link.QueueAnswer("E1\r\n");
        CCmdUD command;
        command.Bind(&link, model.get());
        command.kind = c.kind;
        command.display = c.display;
        command.group = c.group;
        command.option2 = c.option2;
        command.option3 = c.option3;
        if (c.request == nullptr) {
            EXPECT_EQ(command.Execute(), c.refusal);
            EXPECT_TRUE(link.requests().empty());
        } else {
            EXPECT_EQ(command.Execute(), REPLY_ERROR);
            ASSERT_EQ(link.requests().size(), 1u);
            EXPECT_EQ(link.requests()[0].text, c.request);
            EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
        }
    }
    // Group displays need the identity for their group counts.
    FakeLink link;
    CCmdUD command;
    command.Bind(&link, nullptr);
    command.kind = 1;
    command.group = 1;
    EXPECT_EQ(command.Execute(), LINK_E_NOT_INITIALIZED);
    EXPECT_TRUE(link.requests().empty());
}

TEST(CmdAmp4, SendsThePatternAndReadsTheStatus) {
    auto model = MakeModel();
    FakeLink link;
    link.QueueAnswer("E0\r\n");
    link.QueueAnswer("E1\r\n");
    CCmdAmp4 command;
    command.Bind(&link, model.get());
    command.pattern = 30;
    EXPECT_EQ(command.Execute(), RZ_OK);
    EXPECT_EQ(command.Execute(), REPLY_ERROR);
    ASSERT_EQ(link.requests().size(), 2u);
    EXPECT_EQ(link.requests()[0].text, "&4 30");
    EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
}

std::string FakeImage(size_t size, char seed) {
    std::string bytes(size, '\0');
    const char header[] = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = i < 8 ? header[i] : static_cast<char>(seed + static_cast<char>(i * 7));
    }
    return bytes;
}

TEST(CmdFC, FetchResults) {
    const struct {
        const char* name;
        std::string answer;  // empty: the receive fails with `expected`
        RzResult expected;
        bool isImage;  // the answer becomes the image
        std::vector<std::string> shown;
    } cases[] = {
        {"largest image", FakeImage(kImageBufferSize, 'b'), RZ_OK, true, {}},
        {"one byte more", FakeImage(kImageBufferSize + 1, 'c'), LINK_E_BUFFER_SMALL, false, {}},
        {"error line",
         std::string("E3 No screen\r\n\0", 15),
         REPLY_UNEXPECTED,
         false,
         {"E3 No screen"}},
        {"E then B is payload", std::string("EB\r\n\0", 5), RZ_OK, true, {}},
        {"E line without counted NUL is payload", std::string("E1\r\n", 4), RZ_OK, true, {}},
        {"payload holding NUL bytes", std::string("\x89PNG\0\0\0\x0d", 8), RZ_OK, true, {}},
        {"time-out", "", LINK_E_TIMEOUT, false, {}},
    };
    auto command = std::make_unique<CCmdFC>();
    EXPECT_EQ(command->imageBuffer, nullptr) << "the buffers come with the first fetch";
    auto model = MakeModel();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        // A good image first, so that a failing fetch can be seen to leave its bytes alone.
        const std::string previous = FakeImage(500, 'p');
        link.QueueAnswer(previous);
        if (c.answer.empty()) {
            link.QueueReceiveError(c.expected);
        } else {
            link.QueueAnswer(c.answer);
        }
        command->Bind(&link, model.get());
        ASSERT_EQ(command->Query(), RZ_OK);
        EXPECT_EQ(command->Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 2u);
        EXPECT_EQ(link.requests()[1].text, "FC GET");
        EXPECT_EQ(link.requests()[1].mode, RECV_BINARY);
        EXPECT_EQ(command->imageData, command->imageBuffer);
        EXPECT_EQ(shown.texts, c.shown);
        if (c.isImage) {
            ASSERT_EQ(command->imageLength, c.answer.size());
            EXPECT_EQ(std::memcmp(command->imageData, c.answer.data(), c.answer.size()), 0);
        } else {
            EXPECT_EQ(command->imageLength, 0u);
            EXPECT_EQ(std::memcmp(command->imageBuffer, previous.data(), previous.size()), 0)
                << "a failed fetch overwrote the last image";
        }
    }
    // Each connection's fetch has its own buffer: a fetch elsewhere leaves the last image alone.
    const std::string kept = FakeImage(500, 'p');
    auto other = std::make_unique<CCmdFC>();
    FakeLink otherLink;
    otherLink.QueueAnswer(FakeImage(3000, 's'));
    other->Bind(&otherLink, model.get());
    ASSERT_EQ(other->Query(), RZ_OK);
    EXPECT_EQ(std::memcmp(command->imageBuffer, kept.data(), kept.size()), 0);
    // Binding again forgets the image; unbound, nothing is fetched.
    FakeLink second;
    EXPECT_EQ(command->Bind(&second, model.get()), RZ_OK);
    EXPECT_EQ(command->imageLength, 0u);
    EXPECT_EQ(command->imageData, command->imageBuffer);
    EXPECT_EQ(CCmdFC().Query(), LINK_E_NOT_INITIALIZED);
}

}  // namespace
