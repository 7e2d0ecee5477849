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
    CCommand* (*member)(CCommandSet&);
    bool (*expectedClass)(CCommand*);
};

template <typename T>
bool Is(CCommand* command) {
    return dynamic_cast<T*>(command) != nullptr;
}

#define MEMBER(name) [](CCommandSet& s) -> CCommand* { return &s.name; }

// Every key of the command table, what the firmware must offer for it, its member and class.
const std::vector<KeyCase>& KeyCases() {
    static const std::vector<KeyCase> cases = {
        {"CA", Needs::kAny, MEMBER(cmdCA), Is<CCmdCA>},
        {"FD", Needs::kAny, MEMBER(cmdFD), Is<CCmdFD>},
        {"FG", Needs::kAny, MEMBER(cmdFG), Is<CCmdFG>},
        {"FP", Needs::kAny, MEMBER(cmdFP), Is<CCmdFP>},
        {"FU", Needs::kAny, MEMBER(cmdFU), Is<CCmdFU>},
        {"GG", Needs::kAny, MEMBER(cmdGG), Is<CCmdGG>},
        {"GJ", Needs::kAny, MEMBER(cmdGJ), Is<CCmdGJ>},
        {"GO", Needs::kAny, MEMBER(cmdGO), Is<CCmdGO>},
        {"HJ", Needs::kAny, MEMBER(cmdHJ), Is<CCmdHJ>},
        {"HM", Needs::kAny, MEMBER(cmdHM), Is<CCmdHM>},
        {"GF", Needs::kAny, MEMBER(cmdGF), Is<CCmdGF>},
        {"HO", Needs::kAny, MEMBER(cmdHO), Is<CCmdHO>},
        {"IF", Needs::kAny, MEMBER(cmdIF), Is<CCmdIF>},
        {"IS", Needs::kAny, MEMBER(cmdIS), Is<CCmdIS>},
        {"OC", Needs::kAny, MEMBER(cmdOC), Is<CCmdOC>},
        {"PC", Needs::kAny, MEMBER(cmdPC), Is<CCmdPC>},
        {"PS", Needs::kAny, MEMBER(cmdPS), Is<CCmdPS>},
        {"RL", Needs::kAny, MEMBER(cmdRL), Is<CCmdRL>},
        {"ST", Needs::kAny, MEMBER(cmdST), Is<CCmdST>},
        {"SX", Needs::kAny, MEMBER(cmdSX), Is<CCmdSX>},
        {"TL", Needs::kAny, MEMBER(cmdTL), Is<CCmdTL>},
        {"DX", Needs::kMajor3, MEMBER(cmdDX), Is<CCmdDX>},
        {"DY", Needs::kMajor3, MEMBER(cmdDY), Is<CCmdDY>},
        {"DL", Needs::kMajor3, MEMBER(cmdDL), Is<CCmdDL>},
        {"DM", Needs::kMajor3, MEMBER(cmdDM), Is<CCmdDM>},
        {"FO", Needs::kMajor3, MEMBER(cmdFO), Is<CCmdFO>},
        {"MY", Needs::kMajor3, MEMBER(cmdMY), Is<CCmdMY>},
        {"MT", Needs::kMajor3, MEMBER(cmdMT), Is<CCmdMT>},
        {"FW", Needs::kMajor3, MEMBER(cmdFW), Is<CCmdFW>},
        {"FM", Needs::kMajor2, MEMBER(cmdFM), Is<CCmdFM>},
        {"DQ", Needs::kMajor2, MEMBER(cmdDQ), Is<CCmdDQ>},
        {"DR", Needs::kMajor2, MEMBER(cmdDR), Is<CCmdDR>},
        {"DV", Needs::kMajor2, MEMBER(cmdDV), Is<CCmdDV>},
        {"GV", Needs::kMajor2, MEMBER(cmdGV), Is<CCmdGV>},
        {"DT", Needs::kMajor2, MEMBER(cmdDT), Is<CCmdDT>},
        {"FH", Needs::kAny, MEMBER(cmdFH), Is<CCmdFH>},
        {"PN", Needs::kAny, MEMBER(cmdPN), Is<CCmdPN>},
        {"PX", Needs::kAny, MEMBER(cmdPX), Is<CCmdPX>},
        {"AD", Needs::kAny, MEMBER(cmdAD), Is<CCmdAD>},
        {"AK", Needs::kAny, MEMBER(cmdAK), Is<CCmdAK>},
        {"EV", Needs::kAny, MEMBER(cmdEV), Is<CCmdEV>},
        {"FL", Needs::kAny, MEMBER(cmdFL), Is<CCmdFL>},
        {"HU", Needs::kAny, MEMBER(cmdHU), Is<CCmdHU>},
        {"MS", Needs::kAny, MEMBER(cmdMS), Is<CCmdMS>},
        {"UD", Needs::kAny, MEMBER(cmdUD), Is<CCmdUD>},
        {"FC", Needs::kAny, MEMBER(cmdFC), Is<CCmdFC>},
        {"_4", Needs::kVersion306, MEMBER(cmdAmp4), Is<CCmdAmp4>},
        // Members that the table does not list.
        {"SR", Needs::kAny, MEMBER(cmdSR), Is<CCmdSR>},
    };
    return cases;
}

#undef MEMBER

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
            if (std::strcmp(c.key, "SR") == 0) {
                // Not in the command table: reached only as a member.
                EXPECT_EQ(set->GetCommand(c.key), nullptr);
                continue;
            }
            CCommand* command = set->GetCommand(c.key);
            if (Offered(c.needs, firmware)) {
                ASSERT_NE(command, nullptr);
                EXPECT_EQ(command, c.member(*set));
                EXPECT_TRUE(c.expectedClass(command));
            } else {
                EXPECT_EQ(command, nullptr);
            }
        }
    }
}

TEST(CommandSet, BindLeavesGatedMembersUnboundButAlwaysBindsFO) {
    for (const auto& firmware : Firmwares()) {
        auto set = std::make_unique<CCommandSet>();
        auto model = MakeModel(firmware);
        auto identity = MakeModel(firmware);
        FakeLink link;
        ASSERT_EQ(set->Bind(&link, model.get(), identity.get()), RZ_OK);
        for (const auto& c : KeyCases()) {
            SCOPED_TRACE(::testing::Message() << "firmware " << firmware.name << " key " << c.key);
            CCommand* member = c.member(*set);
            const bool bound = Offered(c.needs, firmware) || std::strcmp(c.key, "FO") == 0;
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
    EXPECT_EQ(set->GetCommand("CA"), &set->cmdCA);
}

TEST(CommandSet, UnboundSetOffersOnlyUngatedKeys) {
    auto set = std::make_unique<CCommandSet>();
    EXPECT_EQ(set->GetCommand("CA"), &set->cmdCA);
    EXPECT_EQ(set->GetCommand("DV"), nullptr);
    EXPECT_EQ(set->GetCommand("_4"), nullptr);
    EXPECT_EQ(set->cmdCA.Execute(), LINK_E_NOT_INITIALIZED);
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
    EXPECT_EQ(set->GetCommand("_4"), &set->cmdAmp4);
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

    auto* ca = static_cast<CCmdCA*>(set->GetCommand("CA"));
    ca->loop = 2;
    ca->mode = 0;
    EXPECT_EQ(ca->Execute(), RZ_OK);
    auto* ud = static_cast<CCmdUD*>(set->GetCommand("UD"));
    ud->kind = 1;
    ud->display = 9;
    ud->group = 8;
    EXPECT_EQ(ud->Execute(), RZ_OK);
    auto* amp4 = static_cast<CCmdAmp4*>(set->GetCommand("_4"));
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
    set->cmdFC.imageLength = 77;
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    EXPECT_EQ(set->cmdFC.imageLength, 0u);
    EXPECT_EQ(set->cmdFC.imageData, set->cmdFC.imageBuffer);
    EXPECT_GE(sizeof(set->cmdFC.imageBuffer), static_cast<size_t>(kImageBufferSize));
}

}  // namespace
