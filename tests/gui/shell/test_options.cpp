#include <gtest/gtest.h>

#include "shell/Options.h"

TEST(OperatorOptions, CommandLine) {
    struct Case {
        QStringList args;
        int status;
        uint16_t port;
        QString dataDir;
        QString startLogin;  // login|user|grab
    };
    const Case cases[] = {
        {{}, -1, 34260, {}, "||"},
        {{"--port", "4000", "--data-dir", "/tmp/rz"}, -1, 4000, "/tmp/rz", "||"},
        {{"--port=65535"}, -1, 65535, {}, "||"},
        {{"--port", "0"}, 2, 34260, {}, "||"},
        {{"--port", "65536"}, 2, 34260, {}, "||"},
        {{"--port", "12x"}, 2, 34260, {}, "||"},
        {{"--data-dir"}, 2, 34260, {}, "||"},
        {{"--bogus"}, 2, 34260, {}, "||"},
        {{"extra"}, 2, 34260, {}, "||"},
        {{"--version"}, 0, 34260, {}, "||"},
        {{"--login", "Demo", "--user", "admin", "--grab", "/tmp/a.png"},
         -1,
         34260,
         {},
         "Demo|admin|/tmp/a.png"},
        {{"--grab", "a.png"}, -1, 34260, {}, "||a.png"},
        {{"--login", "Demo"}, 2, 34260, {}, "||"},
        {{"--user", "admin"}, 2, 34260, {}, "||"},
        {{"--login", "", "--user", "admin"}, 2, 34260, {}, "||"},
    };
    for (const Case& c : cases) {
        OperatorOptions options;
        const std::string args = c.args.join(' ').toStdString();
        EXPECT_EQ(ParseOperatorOptions(QStringList{"rz-operator"} + c.args, &options), c.status)
            << args;
        EXPECT_EQ(options.port, c.port) << args;
        EXPECT_EQ(options.dataDir, c.dataDir) << args;
        EXPECT_EQ(options.login + '|' + options.user + '|' + options.grab, c.startLogin) << args;
    }
}
