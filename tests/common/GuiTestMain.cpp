// Main of the widget tests: an application on the offscreen platform (unless the environment
// names another one) with a private per-user configuration directory, so that no test reads or
// writes the user's own settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// Qt is not built for the thread checker: QtGui splits large raster fills into tasks of its
// own thread pool, and dialogs start pooled threads, all handed over through futexes the checker
// cannot see. Memory accesses made inside Qt's libraries are therefore not checked; every access
// made by our own code still is.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
