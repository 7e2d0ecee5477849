// Command runs must not touch the heap: the communication thread runs them every cycle.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "commands/CommandSet.h"
#include "common/AllocationCounter.h"
#include "model/InstrumentModel.h"

namespace {

// A link that hands out one prepared answer and remembers the last request, all in fixed
// storage, so that only the command's own allocations are counted.
class FixedLink : public CLinkTransport {
  public:
    void SetAnswer(const char* bytes, uint32_t length) {
        answer_ = bytes;
        answerLength_ = length;
    }
    const char* lastRequest() const { return request_; }

    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char* request, uint32_t length) override {
        if (length >= sizeof(request_)) {
            return LINK_E_SEND;
        }
        std::memcpy(request_, request, length);
        request_[length] = '\0';
        return RZ_OK;
    }
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength, AnswerShape) override {
        *outLength = 0;
        if (answerLength_ > capacity) {
            return LINK_E_BUFFER_SMALL;
        }
        std::memcpy(buffer, answer_, answerLength_);
        buffer[answerLength_] = '\0';
        *outLength = answerLength_;
        return RZ_OK;
    }
    RzResult SetTimeout(uint32_t) override { return RZ_OK; }
    uint32_t GetTimeout() const override { return kDefaultLinkTimeoutMs; }

  private:
    const char* answer_ = "";
    uint32_t answerLength_ = 0;
    char request_[256] = {};
};

struct Fixture {
    std::unique_ptr<CInstrumentModel> model = std::make_unique<CInstrumentModel>();
    std::unique_ptr<CCommandSet> set = std::make_unique<CCommandSet>();
    FixedLink link;

    Fixture() {
        std::memset(model.get(), 0, sizeof(CInstrumentModel));
        model->modelClass = 3200;
        model->firmwareMajor = 3;
        model->version = 0x30006;
        model->displayGroupCount = 10;
        model->controlGroupCount = 8;
        set->Bind(&link, model.get(), model.get());
    }
    void Answer(const char* text) { link.SetAnswer(text, static_cast<uint32_t>(strlen(text))); }
};

TEST(CommandAllocations, TheCounterSeesAnAllocation) {
    // Without this the checks below could pass with a counter that never counts.
    std::unique_ptr<std::string> text;
    const size_t count =
        AllocationsDuring([&text] { text = std::make_unique<std::string>(200, 'x'); });
    EXPECT_GE(count, 1u);
}

TEST(CommandAllocations, RepresentativeRunsAllocateNothing) {
    Fixture f;
    struct Case {
        const char* name;
        const char* answer;
        RzResult (*run)(CCommandSet&);
        const char* request;
    };
    const Case cases[] = {
        {"UD switch", "E0\r\n",
         [](CCommandSet& s) {
             auto& ud = *s.Get<CCmdUD>();
             ud.kind = 1;
             ud.display = 8;
             ud.group = 3;
             return ud.Execute();
         },
         "UD 1,CONTROLLER,3"},
        {"UD trend options", "E0\r\n",
         [](CCommandSet& s) {
             auto& ud = *s.Get<CCmdUD>();
             ud.kind = 4;
             ud.display = 0;
             ud.group = 1;
             return ud.Execute();
         },
         "UD 4,OFF,All,OFF,OFF"},
        {"CA", "E0\r\n",
         [](CCommandSet& s) {
             auto& ca = *s.Get<CCmdCA>();
             ca.loop = 2;
             ca.mode = 1;
             return ca.Execute();
         },
         "CA1,2"},
        {"GO with scaling", "E0\r\n",
         [](CCommandSet& s) {
             auto& go = *s.Get<CCmdGO>();
             go.loop = 1;
             go.setPointNumber = 1;
             go.value = 12.34;
             go.decimals = 2;
             return go.Execute();
         },
         "GO1,1,1234"},
        {"DV MOUT", "E0\r\n",
         [](CCommandSet& s) {
             auto& dv = *s.Get<CCmdDV>();
             dv.loop = 1;
             std::strcpy(dv.item[0], "mout");
             dv.records[0].manualOutput = 45.67;
             dv.records[0].outputDecimals = 1;
             return dv.Execute();
         },
         "DV1,MOUT,457"},
        {"PN", "E0\r\n",
         [](CCommandSet& s) {
             auto& pn = *s.Get<CCmdPN>();
             pn.pattern = 4;
             return pn.Execute();
         },
         "PN 4"},
        {"FP field list", "EA\r\n  SP2,PID3\r\nEN\r\n",
         [](CCommandSet& s) {
             auto& fp = *s.Get<CCmdFP>();
             fp.loop = 2;
             return fp.Query();
         },
         "FP2"},
        {"DT line walk", "EA\r\nDT1,2,OH,1000\r\nDT1,2,OL,0\r\nEN\r\n",
         [](CCommandSet& s) {
             auto& dt = *s.Get<CCmdDT>();
             dt.loop = 1;
             dt.pidNumber = 2;
             return dt.Query();
         },
         "DT1,2?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        f.Answer(c.answer);
        RzResult result = LINK_E_GENERAL;
        EXPECT_EQ(AllocationsDuring([&] { result = c.run(*f.set); }), 0u);
        EXPECT_EQ(result, RZ_OK);
        EXPECT_STREQ(f.link.lastRequest(), c.request);
    }
    EXPECT_EQ(f.set->Get<CCmdDT>()->outputHigh[0][1], 1000.0);
}

TEST(CommandAllocations, ImageFetchAllocatesNothing) {
    Fixture f;
    // A large image, so that any per-run buffer would have to come from the heap.
    static char image[600000];
    for (size_t i = 0; i < sizeof(image); ++i) {
        image[i] = static_cast<char>(i * 31 + 7);
    }
    image[0] = '\x89';
    f.link.SetAnswer(image, sizeof(image));
    RzResult result = LINK_E_GENERAL;
    EXPECT_EQ(AllocationsDuring([&] { result = f.set->Get<CCmdFC>()->Query(); }), 0u);
    ASSERT_EQ(result, RZ_OK);
    const CCmdFC& fc = *f.set->Get<CCmdFC>();
    ASSERT_EQ(fc.imageLength, sizeof(image));
    EXPECT_EQ(std::memcmp(fc.imageData, image, sizeof(image)), 0);
    EXPECT_STREQ(f.link.lastRequest(), "FC GET");
}

}  // namespace
