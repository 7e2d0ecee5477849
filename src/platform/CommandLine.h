#pragma once

#include <string>
#include <variant>

// Qt is declared only: rzsim includes this beside names Qt takes as keywords.
class QCommandLineParser;
class QString;

// What rz-operator, rzsim and rzctl share on their command lines.

// The project's version, as `--version` and the About box show it.
const char* ProjectVersion();

// The answer to `--version`: "PROGRAM VERSION" and a line end.
std::string VersionText(const std::string& program);

// The answer to a usage error (exit status 2): the reason on one line, then where to look.
std::string UsageErrorText(const std::string& program, const std::string& reason);

// A command line that ends the run before the program does anything else: --help or --version
// (status 0, with the text for stdout) or a usage error (status 2, with the text for stderr).
struct CommandLineExit {
    int status = 0;
    std::string text;
};
// What a command line asks for: the run with its options, or the end of the run.
template <class Options>
using CommandLineResult = std::variant<Options, CommandLineExit>;

// The parser's help with `program` in its usage line. Without an application object the
// parser knows no program name, and with one it would name the path it was started by.
QString HelpText(const QCommandLineParser& parser, const QString& program);
