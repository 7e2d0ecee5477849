#include "SimWords.h"

#include <cstdio>

std::string SimControllerWord(int controller) {
    if (controller >= 1 && controller <= 14) {
        char word[16];
        std::snprintf(word, sizeof word, "MODEL-%02d", controller);
        return word;
    }
    return controller == 15 ? "OTHER" : "NONE";
}

bool SimIsAnswerText(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return !(text.size() >= 4 && text.substr(text.size() - 4) == "END:");
}

bool SimIsFieldText(std::string_view text) {
    return SimIsAnswerText(text) && text.find(',') == std::string_view::npos;
}
