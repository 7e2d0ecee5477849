#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/DisplayCommands.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "unit/commands/FakeLink.h"

namespace {

// A zero-filled model with the size class of `modelClass`.
std::unique_ptr<CInstrumentModel> MakeModel(int32_t modelClass) {
    auto model = std::make_unique<CInstrumentModel>();
    std::memset(model.get(), 0, sizeof(CInstrumentModel));
    model->modelClass = modelClass;
    model->firmwareMajor = 3;
    model->version = 0x30006;
    model->displayGroupCount = modelClass == 3100 ? 6 : 10;
    model->controlGroupCount = modelClass == 3100 ? 4 : 8;
    return model;
}

// ---------------------------------------------------------------------------------------------
// "UD"

struct UdCase {
    int32_t modelClass;
    int32_t kind, display, group, option2, option3;
    RzResult expected;
    const char* request;  // nullptr: nothing may be sent
};

TEST(CmdUD, RequestTextsAndRangeChecks) {
    const std::vector<UdCase> cases = {
        // Measurement group displays: 1 to the display group count.
        {3100, 1, 0, 6, 0, 0, RZ_OK, "UD 1,TREND,6"},
        {3100, 1, 0, 1, 0, 0, RZ_OK, "UD 1,TREND,1"},
        {3100, 1, 0, 0, 0, 0, LINK_E_PARAMETER, nullptr},
        {3100, 1, 0, 7, 0, 0, LINK_E_PARAMETER, nullptr},
        {3100, 1, 0, -1, 0, 0, LINK_E_PARAMETER, nullptr},
        {3200, 1, 0, 7, 0, 0, RZ_OK, "UD 1,TREND,7"},
        {3100, 1, 1, 3, 0, 0, RZ_OK, "UD 1,DIGITAL,3"},
        {3200, 1, 2, 10, 0, 0, RZ_OK, "UD 1,BAR,10"},
        {3200, 1, 2, 11, 0, 0, LINK_E_PARAMETER, nullptr},
        // Control group displays: 1 to the control group count.
        {3100, 1, 7, 4, 0, 0, RZ_OK, "UD 1,FACEPLATE,4"},
        {3100, 1, 8, 2, 0, 0, RZ_OK, "UD 1,CONTROLLER,2"},
        {3100, 1, 8, 5, 0, 0, LINK_E_PARAMETER, nullptr},
        {3200, 1, 8, 5, 0, 0, RZ_OK, "UD 1,CONTROLLER,5"},
        {3200, 1, 9, 8, 0, 0, RZ_OK, "UD 1,HYBRID,8"},
        {3200, 1, 9, 9, 0, 0, LINK_E_PARAMETER, nullptr},
        {3200, 1, 9, 0, 0, 0, LINK_E_PARAMETER, nullptr},
        {3200, 1, 7, -2147483647 - 1, 0, 0, LINK_E_PARAMETER, nullptr},
        // Displays without a group ignore the group field.
        {3100, 1, 3, 99, 0, 0, RZ_OK, "UD 1,OVERVIEW"},
        {3100, 1, 4, -5, 0, 0, RZ_OK, "UD 1,ALARM"},
        {3100, 1, 5, 0, 0, 0, RZ_OK, "UD 1,MESSAGE"},
        {3100, 1, 10, 0, 0, 0, RZ_OK, "UD 1,CTRLOVER"},
        {3100, 1, 11, 0, 0, 0, RZ_OK, "UD 1,PROGRAM"},
        {3100, 1, 12, 0, 0, 0, RZ_OK, "UD 1,CTRLDO"},
        {3100, 1, 13, 0, 0, 0, RZ_OK, "UD 1,CTRLSUMMARY"},
        {3100, 1, 14, 0, 0, 0, RZ_OK, "UD 1,CTRLSW"},
        {3100, 1, 15, 0, 0, 0, RZ_OK, "UD 1,EVENTSUMMARY"},
        // Codes no display has, and kinds other than 1 and 4.
        {3100, 1, 6, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 1, 16, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 1, -1, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 0, 0, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 2, 0, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 3, 0, 1, 0, 0, LINK_E_KIND, nullptr},
        {3100, 5, 0, 1, 0, 0, LINK_E_KIND, nullptr},
        // Trend options.
        {3100, 4, 0, 0, 0, 0, RZ_OK, "UD 4,OFF,GROUP,OFF,OFF"},
        {3100, 4, 0, 1, 1, 0, RZ_OK, "UD 4,OFF,All,ON,OFF"},
        {3100, 4, 1, 0, 0, 1, RZ_OK, "UD 4,ON,GROUP,OFF,ON"},
        {3200, 4, -7, 5, -3, 9, RZ_OK, "UD 4,ON,All,ON,ON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "model " << c.modelClass << " kind " << c.kind
                                          << " display " << c.display << " group " << c.group);
        auto model = MakeModel(c.modelClass);
        FakeLink link;
        link.QueueAnswer("E0\r\n");
        CCmdUD command;
        command.Bind(&link, model.get());
        command.kind = c.kind;
        command.display = c.display;
        command.group = c.group;
        command.option2 = c.option2;
        command.option3 = c.option3;
        EXPECT_EQ(command.Execute(), c.expected);
        if (c.request == nullptr) {
            EXPECT_TRUE(link.requests().empty());
            EXPECT_EQ(link.pendingAnswers(), 1u);
        } else {
            ASSERT_EQ(link.requests().size(), 1u);
            EXPECT_EQ(link.requests()[0].text, c.request);
            EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
            EXPECT_EQ(link.pendingAnswers(), 0u);
        }
    }
}

struct StatusAnswerCase {
    const char* name;
    std::string answer;  // empty: the link fails with `linkError`
    RzResult linkError;
    bool sendFails;
    RzResult expected;
    std::vector<std::string> shown;
};

const std::vector<StatusAnswerCase>& StatusAnswerCases() {
    static const std::vector<StatusAnswerCase> cases = {
        {"E0", "E0\r\n", RZ_OK, false, RZ_OK, {}},
        {"E1 shown", "E1\r\n", RZ_OK, false, REPLY_ERROR, {"E1"}},
        {"a list is no status line", "EA\r\n", RZ_OK, false, REPLY_UNEXPECTED, {"EA"}},
        {"not an E line", "OK\r\n", RZ_OK, false, RZ_OK, {}},
        {"receive time-out", "", LINK_E_TIMEOUT, false, LINK_E_TIMEOUT, {}},
        {"send failure", "", LINK_E_SEND, true, LINK_E_SEND, {}},
    };
    return cases;
}

void QueueStatusAnswer(FakeLink& link, const StatusAnswerCase& c) {
    if (c.sendFails) {
        link.FailNextSend(c.linkError);
    } else if (c.answer.empty()) {
        link.QueueReceiveError(c.linkError);
    } else {
        link.QueueAnswer(c.answer);
    }
}

TEST(CmdUD, StatusAnswers) {
    auto model = MakeModel(3200);
    for (const auto& c : StatusAnswerCases()) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        QueueStatusAnswer(link, c);
        CCmdUD command;
        command.Bind(&link, model.get());
        command.kind = 1;
        command.display = 8;
        command.group = 3;
        EXPECT_EQ(command.Execute(), c.expected);
        EXPECT_EQ(shown.texts, c.shown);
    }
}

TEST(CmdUD, GroupDisplaysNeedTheIdentity) {
    FakeLink link;
    CCmdUD command;
    command.Bind(&link, nullptr);
    command.kind = 1;
    command.display = 0;
    command.group = 1;
    EXPECT_EQ(command.Execute(), LINK_E_NOT_INITIALIZED);
    EXPECT_TRUE(link.requests().empty());
}

// ---------------------------------------------------------------------------------------------
// "&4"

TEST(CmdAmp4, SendsThePatternAndReadsTheStatus) {
    auto model = MakeModel(3200);
    for (int32_t pattern : {1, 17, 30}) {
        for (const auto& c : StatusAnswerCases()) {
            SCOPED_TRACE(c.name);
            ShownMessages shown;
            FakeLink link;
            QueueStatusAnswer(link, c);
            CCmdAmp4 command;
            command.Bind(&link, model.get());
            command.pattern = pattern;
            EXPECT_EQ(command.Execute(), c.expected);
            EXPECT_EQ(shown.texts, c.shown);
            if (!c.sendFails) {
                ASSERT_EQ(link.requests().size(), 1u);
                EXPECT_EQ(link.requests()[0].text, "&4 " + std::to_string(pattern));
                EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// "FC GET"

std::string FakeImage(size_t size, char seed) {
    std::string bytes(size, '\0');
    const char header[] = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = i < 8 ? header[i] : static_cast<char>(seed + static_cast<char>(i * 7));
    }
    return bytes;
}

struct FcCase {
    const char* name;
    std::string answer;  // empty: the receive fails with `linkError`
    RzResult linkError;
    RzResult expected;
    bool isImage;  // the answer becomes the image
    std::vector<std::string> shown;
};

TEST(CmdFC, FetchResults) {
    const std::vector<FcCase> cases = {
        {"small image", FakeImage(1000, 'a'), RZ_OK, RZ_OK, true, {}},
        {"largest image", FakeImage(kImageBufferSize, 'b'), RZ_OK, RZ_OK, true, {}},
        {"one byte more",
         FakeImage(kImageBufferSize + 1, 'c'),
         RZ_OK,
         LINK_E_BUFFER_SMALL,
         false,
         {}},
        {"error line", std::string("E1\r\n\0", 5), RZ_OK, REPLY_UNEXPECTED, false, {"E1"}},
        {"error line with text",
         std::string("E3 No screen\r\n\0", 15),
         RZ_OK,
         REPLY_UNEXPECTED,
         false,
         {"E3 No screen"}},
        {"E then B is payload", std::string("EB\r\n\0", 5), RZ_OK, RZ_OK, true, {}},
        {"E line without counted NUL is payload", std::string("E1\r\n", 4), RZ_OK, RZ_OK, true, {}},
        {"payload holding NUL bytes", std::string("\x89PNG\0\0\0\x0d", 8), RZ_OK, RZ_OK, true, {}},
        {"time-out", "", LINK_E_TIMEOUT, LINK_E_TIMEOUT, false, {}},
        {"broken link", "", LINK_E_BROKEN, LINK_E_BROKEN, false, {}},
    };
    auto command = std::make_unique<CCmdFC>();
    auto model = MakeModel(3200);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        // A good image first, so that a failing fetch can be seen to leave its bytes alone.
        const std::string previous = FakeImage(500, 'p');
        link.QueueAnswer(previous);
        if (c.answer.empty()) {
            link.QueueReceiveError(c.linkError);
        } else {
            link.QueueAnswer(c.answer);
        }
        command->Bind(&link, model.get());
        ASSERT_EQ(command->Query(), RZ_OK);
        ASSERT_EQ(command->imageLength, previous.size());

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
}

TEST(CmdFC, BindPointsAtTheBufferAndForgetsTheImage) {
    auto command = std::make_unique<CCmdFC>();
    auto model = MakeModel(3100);
    FakeLink link;
    link.QueueAnswer(FakeImage(64, 'x'));
    command->Bind(&link, model.get());
    ASSERT_EQ(command->Query(), RZ_OK);
    ASSERT_EQ(command->imageLength, 64u);

    FakeLink second;
    EXPECT_EQ(command->Bind(&second, model.get()), RZ_OK);
    EXPECT_EQ(command->imageLength, 0u);
    EXPECT_EQ(command->imageData, command->imageBuffer);
    EXPECT_EQ(command->link(), &second);
    EXPECT_EQ(command->identity(), model.get());
}

TEST(CmdFC, UnboundFetchSendsNothing) {
    auto command = std::make_unique<CCmdFC>();
    EXPECT_EQ(command->Query(), LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(command->imageLength, 0u);
}

// A link that, while delivering its own image, lets another connection fetch a different one
// first: the way two connections' fetches interleave on two threads, made deterministic.
class InterleavingLink : public FakeLink {
  public:
    CCmdFC* other = nullptr;
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength,
                     AnswerShape shape) override {
        const RzResult result = FakeLink::Receive(buffer, capacity, outLength, shape);
        if (other != nullptr) {
            otherResult = other->Query();
        }
        return result;
    }
    RzResult otherResult = LINK_E_GENERAL;
};

TEST(CmdFC, ImagesOfTwoConnectionsDoNotMix) {
    auto first = std::make_unique<CCmdFC>();
    auto second = std::make_unique<CCmdFC>();
    auto model = MakeModel(3200);
    const std::string firstImage = FakeImage(4000, 'f');
    const std::string secondImage = FakeImage(3000, 's');

    InterleavingLink firstLink;
    FakeLink secondLink;
    firstLink.QueueAnswer(firstImage);
    secondLink.QueueAnswer(secondImage);
    firstLink.other = second.get();
    first->Bind(&firstLink, model.get());
    second->Bind(&secondLink, model.get());

    ASSERT_EQ(first->Query(), RZ_OK);
    ASSERT_EQ(firstLink.otherResult, RZ_OK);
    ASSERT_EQ(first->imageLength, firstImage.size());
    ASSERT_EQ(second->imageLength, secondImage.size());
    EXPECT_EQ(std::memcmp(first->imageData, firstImage.data(), firstImage.size()), 0);
    EXPECT_EQ(std::memcmp(second->imageData, secondImage.data(), secondImage.size()), 0);
}

}  // namespace
