#include "CtlOptions.h"

#include <charconv>

const char* const kCtlUsage =
    "usage: rzctl [--host IP | --name NAME] [--port N] --user U [--password P]\n"
    "             [--data-dir DIR] COMMAND [ARGS]\n"
    "\n"
    "Logs in to an RZ instrument as the console does, runs one command and logs out.\n"
    "Without --password the password is taken from RZ_PASSWORD or typed on the terminal;\n"
    "without a terminal one of the two is required.\n"
    "\n"
    "Commands:\n"
    "  info                          the instrument's identity\n"
    "  dump [--json]                 the whole settings model\n"
    "  watch [--cycles N] [--json]   run the communication cycle, print after each refresh\n"
    "                                (N at least 1; without it until interrupted)\n"
    "  refresh                       reload every setting\n"
    "  display CODE [GROUP]          switch the instrument's display (0-15 or trend, digital,\n"
    "                                bar, overview, alarm, message, faceplate, controller,\n"
    "                                hybrid, ctrlover, program, ctrldo, ctrlsummary, ctrlsw,\n"
    "                                eventsummary)\n"
    "  trend ALL SCALE DIGITAL       trend display options, 0 or 1 each\n"
    "  pattern-select P              program pattern shown on the program display\n"
    "  loop KIND N mode AUT|MAN|CAS  KIND: int, ext or dio\n"
    "  loop KIND N remote LOC|REM\n"
    "  loop KIND N run RUN|STOP\n"
    "  loop KIND N sp VALUE\n"
    "  loop KIND N out VALUE\n"
    "  loop KIND N read              re-read the loop's mode and print it\n"
    "  dio N out 0|1                 DI/DO point output\n"
    "  program P run|reset|hold|release|advance\n"
    "  math start|stop|reset\n"
    "  memory start|stop\n"
    "  ack                           acknowledge alarms\n"
    "  message N                     write message N (1-8)\n"
    "  save-data display|event|sample|trigger\n"
    "  log KIND                      alarm, communication, error, key, web, email, ftp, message\n"
    "  image FILE                    save the screen (PNG when FILE ends in png, else BMP)\n"
    "  registry list                 registered instruments (no log-in)\n"
    "  registry add NAME IP          register an instrument (no log-in)\n"
    "  registry remove NAME          remove a registered instrument (no log-in)\n"
    "\n"
    "Exit status: 0 success, 1 failed operation, log-in or output, 2 usage error,\n"
    "3 the command ran but the instrument refused steps of the settings load (each is\n"
    "named on stderr; what they fill is empty), 130 ended by SIGINT (Ctrl-C), 143 ended\n"
    "by SIGTERM. Either signal ends rzctl at once, whatever it waits for.\n";

namespace {

bool TakeValue(const std::vector<std::string>& argv, size_t* i, std::string* value,
               std::string* error) {
    if (*i + 1 >= argv.size()) {
        *error = "option " + argv[*i] + " needs a value";
        return false;
    }
    *value = argv[++*i];
    return true;
}

}  // namespace

bool ParseCtlOptions(const std::vector<std::string>& argv, CtlOptions* options,
                     std::string* error) {
    size_t i = 1;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            break;
        }
        std::string value;
        if (arg == "--host") {
            if (!TakeValue(argv, &i, &options->host, error))
                return false;
        } else if (arg == "--name") {
            if (!TakeValue(argv, &i, &options->name, error))
                return false;
        } else if (arg == "--user") {
            if (!TakeValue(argv, &i, &options->user, error))
                return false;
        } else if (arg == "--password") {
            if (!TakeValue(argv, &i, &options->password, error))
                return false;
            options->hasPassword = true;
        } else if (arg == "--data-dir") {
            if (!TakeValue(argv, &i, &options->dataDir, error))
                return false;
        } else if (arg == "--port") {
            if (!TakeValue(argv, &i, &value, error))
                return false;
            int port = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (ec != std::errc() || end != value.data() + value.size() || port < 1 ||
                port > 65535) {
                *error = "--port needs a number from 1 to 65535";
                return false;
            }
            options->port = port;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
    }
    if (i >= argv.size()) {
        *error = "no command given";
        return false;
    }
    options->command = argv[i];
    options->args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end());
    if (!options->host.empty() && !options->name.empty()) {
        *error = "give --host or --name, not both";
        return false;
    }
    return true;
}
