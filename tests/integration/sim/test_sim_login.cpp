#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "SimServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

namespace {

struct LoginCase {
    const char* name;
    const char* user;
    std::optional<std::string> password;  // sent only when the simulator prompts
    bool refuseLogin;
    bool expectPrompt;
    bool expectLoggedIn;
};

// An error line: 'E', then anything but '0', 'A' or 'B', ending CR LF.
bool IsErrorLine(const std::string& line) {
    return line.size() >= 4 && line[0] == 'E' && line[1] != '0' && line[1] != 'A' &&
           line[1] != 'B' && line.compare(line.size() - 2, 2, "\r\n") == 0 &&
           line.find("\r\n") == line.size() - 2;
}

}  // namespace

TEST(SimLogin, OutcomesOfTheLoginDialogue) {
    const LoginCase cases[] = {
        {"admin with password", "admin", "rzadmin", false, true, true},
        {"user with password", "user", "rzuser", false, true, true},
        {"guest without password", "guest", std::nullopt, false, false, true},
        {"wrong password", "admin", "rzuser", false, true, false},
        {"empty password for a password user", "user", "", false, true, false},
        {"unknown user", "root", std::nullopt, false, false, false},
        {"user name differing in case", "Admin", std::nullopt, false, false, false},
        {"empty user name", "", std::nullopt, false, false, false},
        {"refused log-in, valid user", "admin", std::nullopt, true, false, false},
        {"refused log-in, user without password", "guest", std::nullopt, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimFaults faults;
        faults.refuseLogin = c.refuseLogin;
        CSimServer server(ShippedProfile("full"), faults);
        const uint16_t port = server.Start(0);
        ASSERT_NE(port, 0) << server.LastError();
        CSimTestClient client;
        ASSERT_TRUE(client.Connect(port));

        const std::string greeting = client.ReadLine();
        EXPECT_NE(greeting.find("Select username from 'admin' or 'user'"), std::string::npos);
        ASSERT_TRUE(client.SendLine(c.user));
        std::string answer = client.ReadLine();
        EXPECT_EQ(answer.find("Input password.") != std::string::npos, c.expectPrompt) << answer;
        if (c.expectPrompt) {
            ASSERT_TRUE(c.password.has_value());
            ASSERT_TRUE(client.SendLine(*c.password));
            answer = client.ReadLine();
        }
        if (c.expectLoggedIn) {
            EXPECT_EQ(answer, "E0\r\n");
            // Logged in: commands are served.
            ASSERT_TRUE(client.SendLine("_C"));
            EXPECT_EQ(client.ReadList().rfind("EA\r\nMODEL:\r\n", 0), 0u);
        } else {
            EXPECT_TRUE(IsErrorLine(answer)) << answer;
            bool closed = false;
            EXPECT_EQ(client.ReadUntilClosed(&closed), "");
            EXPECT_TRUE(closed);
        }
    }
}
