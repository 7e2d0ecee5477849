#include "SimIdentity.h"

namespace {

const char* ProgramOptionText(SimProgramOption option) {
    switch (option) {
        case SimProgramOption::kLarge:
            return "PROGRAM LARGE";
        case SimProgramOption::kSmall:
            return "PROGRAM SMALL";
        case SimProgramOption::kNone:
            break;
    }
    return "NONE";
}

}  // namespace

std::string SimIdentityAnswer(const CSimProfile& profile) {
    std::string answer = "EA\r\nMODEL:\r\n";
    answer += profile.family + std::to_string(profile.model) + "\r\n";
    answer += "VERSION:\r\n" + profile.firmwareVersion + "\r\n";
    answer += "OPTION:\r\n";
    answer += ProgramOptionText(profile.programOption);
    answer += "\r\nEN\r\n";
    return answer;
}

std::string SimPidAuxAnswer(const CSimProfile& profile) {
    std::string answer = "EA\r\nPID_AUX";
    for (const int flag : profile.pidAux) {
        answer += flag != 0 ? "ON," : "OFF,";
    }
    answer += "\r\nEN\r\n";
    return answer;
}

void RegisterIdentityCommands(CSimDispatcher& dispatcher) {
    dispatcher.Register("_C", [](const CSimRequest& request, CSimInstrument& instrument) {
        return request.text == "_C" ? SimIdentityAnswer(instrument.Profile()) : std::string();
    });
    dispatcher.Register("ZS", [](const CSimRequest& request, CSimInstrument& instrument) {
        return request.text == "ZSPID_AUX?" ? SimPidAuxAnswer(instrument.Profile()) : std::string();
    });
}
