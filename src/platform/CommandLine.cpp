#include "platform/CommandLine.h"

#include <QCommandLineParser>
#include <QString>

const char* ProjectVersion() {
    return RZ_VERSION;
}

std::string VersionText(const std::string& program) {
    return program + " " + ProjectVersion() + "\n";
}

std::string UsageErrorText(const std::string& program, const std::string& reason) {
    return program + ": " + reason + "\nTry '" + program + " --help' for more information.\n";
}

QString HelpText(const QCommandLineParser& parser, const QString& program) {
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    if (text.startsWith(usage)) {
        const qsizetype end = text.indexOf(QLatin1Char(' '), usage.size());
        text.replace(usage.size(), (end < 0 ? text.size() : end) - usage.size(), program);
    }
    return text;
}
