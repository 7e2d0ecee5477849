#include <gtest/gtest.h>

#include "shell/Options.h"

TEST(OperatorOptions, PortAndDataDirectory) {
    struct Case {
        QStringList args;
        int status;
        uint16_t port;
        QString dataDir;
    };
    const Case cases[] = {
        {{}, -1, 34260, {}},
        {{"--port", "4000", "--data-dir", "/tmp/rz"}, -1, 4000, "/tmp/rz"},
        {{"--port=65535"}, -1, 65535, {}},
        {{"--port", "0"}, 2, 34260, {}},
        {{"--port", "65536"}, 2, 34260, {}},
        {{"--port", "12x"}, 2, 34260, {}},
        {{"--data-dir"}, 2, 34260, {}},
        {{"--bogus"}, 2, 34260, {}},
        {{"extra"}, 2, 34260, {}},
        {{"--version"}, 0, 34260, {}},
    };
    for (const Case& c : cases) {
        OperatorOptions options;
        EXPECT_EQ(ParseOperatorOptions(QStringList{"rz-operator"} + c.args, &options), c.status)
            << c.args.join(' ').toStdString();
        EXPECT_EQ(options.port, c.port) << c.args.join(' ').toStdString();
        EXPECT_EQ(options.dataDir, c.dataDir) << c.args.join(' ').toStdString();
    }
}
