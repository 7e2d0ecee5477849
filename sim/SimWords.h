#pragma once

#include <string>
#include <string_view>

// The words the instrument uses for its codes, indexed by code, in profiles and answers alike.
inline constexpr const char* kSimLoopKindWords[] = {"None", "Single", "Cascade", "PVSwitching",
                                                    "Retrans"};
inline constexpr const char* kSimOutputTypeWords[] = {"NONE", "RELAY", "VOLTAGE-PULSE",
                                                      "CURRENT-OUTPUT", "ON/OFF-CONTROL"};
inline constexpr const char* kSimModuleWords[] = {"DI-1",   "DO-1",  "DO-2",    "DIO-11",
                                                  "DIO-12", "DO-2P", "DIO-12P", "none"};
inline constexpr const char* kSimMemberKindWords[] = {"none",     "Meas-CH",  "Math-CH",
                                                      "Int-Loop", "Ext-Loop", "DIO"};
inline constexpr const char* kSimModeWords[] = {"AUT", "MAN", "CAS"};
inline constexpr const char* kSimInputTypeWords[] = {"VOLT",  "TC",    "RTD",  "DI",
                                                     "DELTA", "SCALE", "SQRT", "LOG"};

// "NONE" for 0, "MODEL-01" to "MODEL-14", "OTHER" for 15.
std::string SimControllerWord(int controller);

// A text that can travel inside an answer line: printable ASCII only, and not ending in
// "END:", which would close a list answer early.
bool SimIsAnswerText(std::string_view text);
// An answer text that also stays one comma-separated field.
bool SimIsFieldText(std::string_view text);
