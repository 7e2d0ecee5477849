// A plant in process, made from rzsim's own command line: every instrument on its own loopback
// address with its own profile, tags, faults and alarms, and one accept thread for all.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SimIdentity.h"
#include "SimPlantServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"
#include "common/TableText.h"

namespace {

std::unique_ptr<CSimPlantServer> StartPlant(const std::string& args) {
    CSimOptions options;
    std::string error;
    EXPECT_TRUE(ParseSimOptions(Split(args, ' '), &options, &error)) << error;
    std::unique_ptr<CSimPlantServer> plant = CSimPlantServer::Make(options, &error);
    EXPECT_NE(plant, nullptr) << error;
    if (plant && !plant->Start()) {
        ADD_FAILURE() << plant->LastError();
        plant.reset();
    }
    return plant;
}

std::string Ask(CSimTestClient& client, const std::string& request) {
    return client.SendLine(request) ? client.ReadList() : std::string();
}

}  // namespace

TEST(SimPlantServer, EachInstrumentAnswersOnItsOwnAddressWithItsOwnFaults) {
    const auto plant = StartPlant(
        "--instruments 4 --port 0 --stopped 127.0.0.4 --faults-for 127.0.0.3 --refuse-login");
    ASSERT_NE(plant, nullptr);
    struct Row {
        const char* name;
        const char* address;
        const char* profile;
        const char* firstTag;  // the first line of its tags answer
        bool served;
        bool logsIn;
    };
    const Row rows[] = {
        {"Furnace 1", "127.0.0.1", "full", "ST001,1-TI-101", true, true},
        {"Dryer 2", "127.0.0.2", "rz3200v2", "ST001,2-T-01", true, true},
        {"Kiln 3", "127.0.0.3", "rz3100", "", true, false},
        {"Boiler 4", "127.0.0.4", "full", "", false, false},
    };
    ASSERT_EQ(plant->Count(), static_cast<int>(std::size(rows)));
    CSimTestClient clients[std::size(rows)];
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.address);
        EXPECT_EQ(plant->Member(static_cast<int>(i)).name, row.name);
        EXPECT_EQ(plant->Member(static_cast<int>(i)).address, row.address);
        CSimTestClient& client = clients[i];
        ASSERT_EQ(client.Connect(plant->Port(), row.address), row.served);
        if (!row.served) {
            continue;
        }
        ASSERT_EQ(client.LogIn("admin", "rzdemo"), row.logsIn);
        if (!row.logsIn) {
            continue;
        }
        EXPECT_EQ(Ask(client, "_C"), SimIdentityAnswer(ShippedProfile(row.profile)));
        EXPECT_EQ(Ask(client, "ST?").find(std::string("EA\r\n") + row.firstTag + "\r\n"), 0u);
    }

    // The stopped instrument comes up at its address; taking another off ends its sessions and
    // leaves the rest served.
    ASSERT_TRUE(plant->SetServed(3, true)) << plant->LastError();
    CSimTestClient fourth;
    ASSERT_TRUE(fourth.Connect(plant->Port(), "127.0.0.4"));
    EXPECT_TRUE(fourth.LogIn("admin", "rzdemo"));
    ASSERT_TRUE(plant->SetServed(0, false));
    bool closed = false;
    clients[0].ReadUntilClosed(&closed);
    EXPECT_TRUE(closed);
    CSimTestClient first;
    EXPECT_FALSE(first.Connect(plant->Port(), "127.0.0.1"));
    EXPECT_EQ(Ask(clients[1], "_C"), SimIdentityAnswer(ShippedProfile("rz3200v2")));
}

// On the manual clock every values request is one second: the second instrument's first channel
// is in alarm for the first 30 s of every minute, the first instrument never (the alarms of its
// profile are gone).
TEST(SimPlantServer, TheSecondInstrumentRaisesItsAlarmOnSchedule) {
    const auto plant = StartPlant("--instruments 2 --port 0 --step-ms 1000");
    ASSERT_NE(plant, nullptr);
    EXPECT_FALSE(plant->Member(0).alarms);
    EXPECT_TRUE(plant->Member(1).alarms);
    CSimTestClient quiet;
    CSimTestClient alarming;
    ASSERT_TRUE(quiet.Connect(plant->Port(), "127.0.0.1") && quiet.LogIn("admin", "rzdemo"));
    ASSERT_TRUE(alarming.Connect(plant->Port(), "127.0.0.2") && alarming.LogIn("admin", "rzdemo"));
    for (int second = 1; second <= 61; ++second) {
        SCOPED_TRACE(second);
        EXPECT_EQ(Ask(quiet, "FD0,1,60").find(" ALM"), std::string::npos);
        const std::string values = Ask(alarming, "FD0,1,60");
        EXPECT_EQ(values.find(" 001 ALM*") != std::string::npos, second % 60 < 30) << values;
    }
}
