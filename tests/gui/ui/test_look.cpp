#include <gtest/gtest.h>

#include <QPalette>
#include <tuple>

#include "ui/FlatLook.h"

namespace {

using C = Look::Colours;

// Which look the console applies: a style asked for on the command line, in the environment or
// not at all, on a light or a dark desktop, with the dark look chosen or not.
TEST(Look, FollowsTheStyleAskedForTheDesktopAndTheDarkChoice) {
    struct Row {
        const char* commandLine;
        const char* environment;
        bool desktopDark;
        bool dark;
        Look look;
    };
    const Row rows[] = {
        {"", "", false, false, {true, C::kLight}},
        {"", "", false, true, {true, C::kDark}},
        {"windows", "", false, false, {false, C::kDesktop}},
        {"windows", "", false, true, {false, C::kDark}},
        {"", "kvantum", false, false, {false, C::kDesktop}},
        {"", "kvantum", false, true, {false, C::kDark}},
        {"", "", true, false, {false, C::kDesktop}},
        {"", "", true, true, {true, C::kDark}},
    };
    for (const Row& row : rows) {
        const Look look =
            LookFor({QString::fromLatin1(row.commandLine), QString::fromLatin1(row.environment),
                     row.desktopDark, row.dark});
        EXPECT_EQ(look, row.look) << "'" << row.commandLine << "' '" << row.environment << "' "
                                  << row.desktopDark << row.dark;
    }
    // A desktop is dark when its windows are darker than their text.
    const std::tuple<QRgb, QRgb, bool> windowTextDark[] = {{0xF3F3F3, 0x1E1E1E, false},
                                                           {0x2D2D2D, 0xE6E6E6, true},
                                                           {0x31363B, 0xEFF0F1, true},
                                                           {0xEFEBE7, 0x2E3436, false}};
    for (const auto& [window, text, dark] : windowTextDark) {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(window));
        palette.setColor(QPalette::WindowText, QColor(text));
        EXPECT_EQ(IsDarkPalette(palette), dark) << std::hex << window;
    }
}

}  // namespace
