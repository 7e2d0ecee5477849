#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandSet.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

namespace {

// Every key the lookup could know, tried exhaustively rather than copied from the table.
std::vector<std::string> AllKeys() {
    std::vector<std::string> keys = {"_4"};
    for (char a = 'A'; a <= 'Z'; ++a) {
        for (char b = 'A'; b <= 'Z'; ++b) {
            keys.push_back(std::string{a, b});
        }
    }
    return keys;
}

// One key of every firmware gate, on the firmware either side of each gate; the lookup by key
// and the one by class agree.
TEST(CommandSet, LookupFollowsTheFirmwareGates) {
    const struct {
        int32_t major, minor;
        bool always, major2, major3, version306;
    } cases[] = {{1, 5, true, false, false, false}, {2, 0, true, true, false, false},
                 {2, 99, true, true, false, false}, {3, 5, true, true, true, false},
                 {3, 6, true, true, true, true},    {3, 10, true, true, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "firmware " << c.major << "." << c.minor);
        auto model = MakeModel(3200, c.major, c.minor);
        auto set = std::make_unique<CCommandSet>();
        FakeLink link;
        ASSERT_EQ(set->Bind(&link, model.get(), model.get()), RZ_OK);
        EXPECT_EQ(set->GetCommand("CA") != nullptr, c.always);
        EXPECT_EQ(set->GetCommand("DV") != nullptr, c.major2);
        EXPECT_EQ(set->GetCommand("DX") != nullptr, c.major3);
        EXPECT_EQ(set->GetCommand("_4") != nullptr, c.version306);
        EXPECT_EQ(set->GetCommand("CA"), set->Get<CCmdCA>());
        EXPECT_EQ(set->GetCommand("DV"), set->Get<CCmdDV>());
        EXPECT_EQ(set->GetCommand("DX"), set->Get<CCmdDX>());
        EXPECT_EQ(set->GetCommand("_4"), set->Get<CCmdAmp4>());
    }
    // The lookup reads the model it was bound to, not a copy taken at Bind.
    auto model = MakeModel(3200, 3, 5);
    auto set = std::make_unique<CCommandSet>();
    set->Bind(nullptr, model.get(), model.get());
    model->version = 0x30006;
    EXPECT_NE(set->GetCommand("_4"), nullptr);
    // Unbound, only the commands without a gate are offered, and they refuse to run.
    auto unbound = std::make_unique<CCommandSet>();
    EXPECT_EQ(unbound->GetCommand("DV"), nullptr);
    EXPECT_EQ(unbound->Get<CCmdDV>(), nullptr);
    ASSERT_NE(unbound->Get<CCmdCA>(), nullptr);
    EXPECT_EQ(unbound->Get<CCmdCA>()->Execute(), LINK_E_NOT_INITIALIZED);
}

// Bind binds exactly the members the lookup offers on that firmware.
TEST(CommandSet, BindBindsWhatTheLookupOffers) {
    for (const int32_t major : {1, 2, 3}) {
        auto model = MakeModel(3200, major, 5);
        auto set = std::make_unique<CCommandSet>();
        FakeLink link;
        set->Bind(&link, model.get(), model.get());
        std::vector<std::string> offered;
        for (const auto& key : AllKeys()) {
            if (set->GetCommand(key.c_str()) != nullptr) {
                offered.push_back(key);
            }
        }
        // The newest firmware opens every gate, so the members left unbound show too.
        model->firmwareMajor = 3;
        model->version = 0x3000A;
        int members = 0;
        for (const auto& key : AllKeys()) {
            const CCommand* member = set->GetCommand(key.c_str());
            if (member != nullptr) {
                ++members;
                const bool bound = std::find(offered.begin(), offered.end(), key) != offered.end();
                EXPECT_EQ(member->link(), bound ? &link : nullptr) << major << " " << key;
            }
        }
        EXPECT_GT(members, static_cast<int>(offered.size())) << "some members stay unbound";
    }
}

TEST(CommandSet, KeysAreExactAndCaseSensitive) {
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(3200, 3, 10);
    FakeLink link;
    set->Bind(&link, model.get(), model.get());
    for (const char* key :
         {"ca", "Ca", "CA ", " CA", "CAX", "C", "", "&4", "_4 ", "FC GET", "EA"}) {
        EXPECT_EQ(set->GetCommand(key), nullptr) << '"' << key << '"';
    }
    EXPECT_EQ(set->GetCommand(nullptr), nullptr);
}

// Every command the lookup offers sends its requests under its own key ("_4" sends "&4"), so no
// key leads to another command's object.
TEST(CommandSet, EveryKeyReachesTheCommandOfThatKey) {
    auto set = std::make_unique<CCommandSet>();
    auto model = MakeModel(3200, 3, 10);
    FakeLink link;
    link.SetDefaultAnswer("E0\r\n");
    set->Bind(&link, model.get(), model.get());
    int sending = 0;
    for (const auto& key : AllKeys()) {
        CCommand* command = set->GetCommand(key.c_str());
        if (command == nullptr) {
            continue;
        }
        const size_t before = link.requests().size();
        command->Query();
        const RzResult execute = command->Execute();
        if (link.requests().size() == before) {
            // Silent only because its default parameters are refused.
            EXPECT_TRUE(execute == LINK_E_PARAMETER || execute == LINK_E_KIND) << key;
            continue;
        }
        ++sending;
        for (size_t i = before; i < link.requests().size(); ++i) {
            EXPECT_EQ(link.requests()[i].text.substr(0, 2), key == "_4" ? "&4" : key) << key;
        }
    }
    EXPECT_GT(sending, 0);
}

}  // namespace
