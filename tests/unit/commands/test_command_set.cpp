#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandSet.h"
#include "model/InstrumentModel.h"
#include "unit/commands/FakeLink.h"

namespace {

enum class Needs { kAny, kMajor2, kMajor3, kVersion306 };

struct KeyCase {
    const char* key;
    Needs needs;
    CCommand* (*typed)(CCommandSet&);  // the lookup by class
};

#define TYPED(T) [](CCommandSet& s) -> CCommand* { return s.Get<T>(); }

// Every key of the command table, what the firmware must offer for it, its member and class.
const std::vector<KeyCase>& KeyCases() {
    static const std::vector<KeyCase> cases = {
        {"CA", Needs::kAny, TYPED(CCmdCA)},    {"FD", Needs::kAny, TYPED(CCmdFD)},
        {"FG", Needs::kAny, TYPED(CCmdFG)},    {"FP", Needs::kAny, TYPED(CCmdFP)},
        {"FU", Needs::kAny, TYPED(CCmdFU)},    {"GG", Needs::kAny, TYPED(CCmdGG)},
        {"GJ", Needs::kAny, TYPED(CCmdGJ)},    {"GO", Needs::kAny, TYPED(CCmdGO)},
        {"HJ", Needs::kAny, TYPED(CCmdHJ)},    {"HM", Needs::kAny, TYPED(CCmdHM)},
        {"GF", Needs::kAny, TYPED(CCmdGF)},    {"HO", Needs::kAny, TYPED(CCmdHO)},
        {"IF", Needs::kAny, TYPED(CCmdIF)},    {"IS", Needs::kAny, TYPED(CCmdIS)},
        {"OC", Needs::kAny, TYPED(CCmdOC)},    {"PC", Needs::kAny, TYPED(CCmdPC)},
        {"PS", Needs::kAny, TYPED(CCmdPS)},    {"RL", Needs::kAny, TYPED(CCmdRL)},
        {"ST", Needs::kAny, TYPED(CCmdST)},    {"SX", Needs::kAny, TYPED(CCmdSX)},
        {"TL", Needs::kAny, TYPED(CCmdTL)},    {"SR", Needs::kAny, TYPED(CCmdSR)},
        {"DX", Needs::kMajor3, TYPED(CCmdDX)}, {"DY", Needs::kMajor3, TYPED(CCmdDY)},
        {"DL", Needs::kMajor3, TYPED(CCmdDL)}, {"DM", Needs::kMajor3, TYPED(CCmdDM)},
        {"FO", Needs::kMajor3, TYPED(CCmdFO)}, {"MY", Needs::kMajor3, TYPED(CCmdMY)},
        {"MT", Needs::kMajor3, TYPED(CCmdMT)}, {"FW", Needs::kMajor3, TYPED(CCmdFW)},
        {"FM", Needs::kMajor2, TYPED(CCmdFM)}, {"DQ", Needs::kMajor2, TYPED(CCmdDQ)},
        {"DR", Needs::kMajor2, TYPED(CCmdDR)}, {"DV", Needs::kMajor2, TYPED(CCmdDV)},
        {"GV", Needs::kMajor2, TYPED(CCmdGV)}, {"DT", Needs::kMajor2, TYPED(CCmdDT)},
        {"FH", Needs::kAny, TYPED(CCmdFH)},    {"PN", Needs::kAny, TYPED(CCmdPN)},
        {"PX", Needs::kAny, TYPED(CCmdPX)},    {"AD", Needs::kAny, TYPED(CCmdAD)},
        {"AK", Needs::kAny, TYPED(CCmdAK)},    {"EV", Needs::kAny, TYPED(CCmdEV)},
        {"FL", Needs::kAny, TYPED(CCmdFL)},    {"HU", Needs::kAny, TYPED(CCmdHU)},
        {"MS", Needs::kAny, TYPED(CCmdMS)},    {"UD", Needs::kAny, TYPED(CCmdUD)},
        {"FC", Needs::kAny, TYPED(CCmdFC)},    {"_4", Needs::kVersion306, TYPED(CCmdAmp4)},
    };
    return cases;
}

#undef TYPED

struct Firmware {
    const char* name;
    int32_t major;
    int32_t version;
};

const std::vector<Firmware>& Firmwares() {
    static const std::vector<Firmware> firmwares = {
        {"1.05", 1, 0x10005}, {"2.00", 2, 0x20000}, {"2.99", 2, 0x20063},
        {"3.05", 3, 0x30005}, {"3.06", 3, 0x30006}, {"3.10", 3, 0x3000A},
    };
    return firmwares;
}

bool Offered(Needs needs, const Firmware& firmware) {
    switch (needs) {
        case Needs::kAny:
            return true;
        case Needs::kMajor2:
            return firmware.major >= 2;
        case Needs::kMajor3:
            return firmware.major >= 3;
        case Needs::kVersion306:
            return firmware.version >= 0x30006;
    }
    return false;
}

std::unique_ptr<CInstrumentModel> MakeModel(const Firmware& firmware) {
    auto model = std::make_unique<CInstrumentModel>();
    std::memset(model.get(), 0, sizeof(CInstrumentModel));
    model->modelClass = 3200;
    model->firmwareMajor = firmware.major;
    model->version = firmware.version;
    model->displayGroupCount = 10;
    model->controlGroupCount = 8;
    return model;
}

TEST(CommandSet, LookupFollowsTheFirmwareGates) {
    for (const auto& firmware : Firmwares()) {
        auto set = std::make_unique<CCommandSet>();
        auto model = MakeModel(firmware);
        FakeLink link;
        ASSERT_EQ(set->Bind(&link, model.get(), model.get()), RZ_OK);
        EXPECT_EQ(set->model(), model.get());
        for (const auto& c : KeyCases()) {
            SCOPED_TRACE(::testing::Message() << "firmware " << firmware.name << " key " << c.key);
            // Key and class reach the same member, or both find nothing.
            CCommand* command = set->GetCommand(c.key);
            EXPECT_EQ(command, c.typed(*set));
            EXPECT_EQ(command != nullptr, Offered(c.needs, firmware));
        }
    }
}

TEST(CommandSet, BindBindsWhatTheLookupOffers) {
    for (const auto& firmware : Firmwares()) {
        auto set = std::make_unique<CCommandSet>();
        auto model = MakeModel(firmware);
        auto identity = MakeModel(firmware);
        FakeLink link;
        ASSERT_EQ(set->Bind(&link, model.get(), identity.get()), RZ_OK);
        // Newest firmware in the model opens every gate, so the unbound members show too.
        model->firmwareMajor = 3;
        model->version = 0x3000A;
        for (const auto& c : KeyCases()) {
            SCOPED_TRACE(::testing::Message() << "firmware " << firmware.name << " key " << c.key);
            CCommand* member = c.typed(*set);
            ASSERT_NE(member, nullptr);
            const bool bound = Offered(c.needs, firmware);
            EXPECT_EQ(member->link(), bound ? &link : nullptr);
            EXPECT_EQ(member->identity(), bound ? identity.get() : nullptr);
        }
    }
}

TEST(CommandSet, KeysAreExactAndCaseSensitive) {
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(Firmwares().back());
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    for (const char* key : {"ca", "Ca", "cA", "dv", "fc", "CA ", " CA", "CAX", "C", "", "&4", "_4 ",
                            "AMP4", "FC GET", "EA", "EN", "E0"}) {
        EXPECT_EQ(set->GetCommand(key), nullptr) << '"' << key << '"';
    }
    EXPECT_EQ(set->GetCommand(nullptr), nullptr);
    EXPECT_EQ(set->GetCommand("CA"), set->Get<CCmdCA>());
}

TEST(CommandSet, UnboundSetOffersOnlyUngatedKeys) {
    auto set = std::make_unique<CCommandSet>();
    EXPECT_EQ(set->GetCommand("CA"), set->Get<CCmdCA>());
    EXPECT_EQ(set->GetCommand("DV"), nullptr);
    EXPECT_EQ(set->Get<CCmdDV>(), nullptr);
    EXPECT_EQ(set->GetCommand("_4"), nullptr);
    EXPECT_EQ(set->Get<CCmdCA>()->Execute(), LINK_E_NOT_INITIALIZED);
}

TEST(CommandSet, GatesFollowTheModelAfterBind) {
    // The connection fills the identity copy once; a later change of the model's version is
    // what the lookup sees, as it reads the model it was bound to.
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(Firmwares()[3]);  // 3.05
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    EXPECT_EQ(set->GetCommand("_4"), nullptr);
    model->version = 0x30006;
    EXPECT_EQ(set->GetCommand("_4"), set->Get<CCmdAmp4>());
    EXPECT_NE(set->Get<CCmdAmp4>(), nullptr);
    model->firmwareMajor = 1;
    EXPECT_EQ(set->GetCommand("DV"), nullptr);
}

TEST(CommandSet, CommandsFromTheTableRunOnTheBoundLink) {
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(Firmwares().back());
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    link.QueueAnswer("E0\r\n");
    link.QueueAnswer("E0\r\n");
    link.QueueAnswer("E0\r\n");

    auto* ca = set->Get<CCmdCA>();
    ca->loop = 2;
    ca->mode = 0;
    EXPECT_EQ(ca->Execute(), RZ_OK);
    auto* ud = set->Get<CCmdUD>();
    ud->kind = 1;
    ud->display = 9;
    ud->group = 8;
    EXPECT_EQ(ud->Execute(), RZ_OK);
    auto* amp4 = set->Get<CCmdAmp4>();
    amp4->pattern = 30;
    EXPECT_EQ(amp4->Execute(), RZ_OK);

    ASSERT_EQ(link.requests().size(), 3u);
    EXPECT_EQ(link.requests()[0].text, "CA0,2");
    EXPECT_EQ(link.requests()[1].text, "UD 1,HYBRID,8");
    EXPECT_EQ(link.requests()[2].text, "&4 30");
}

TEST(CommandSet, BindPreparesTheScreenImage) {
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(Firmwares().front());
    CCmdFC& fc = *set->Get<CCmdFC>();
    fc.imageLength = 77;
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    EXPECT_EQ(fc.imageLength, 0u);
    EXPECT_EQ(fc.imageData, fc.imageBuffer);
    EXPECT_GE(sizeof(fc.imageBuffer), static_cast<size_t>(kImageBufferSize));
}

}  // namespace
