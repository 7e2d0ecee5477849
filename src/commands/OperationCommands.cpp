#include "commands/OperationCommands.h"

#include <cstdio>
#include <cstring>

#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"

namespace {

// Numbers in answers: leading blanks and a sign, then digits up to the first other character.
int32_t ReadNumber(const char* text) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') {
        ++text;
    }
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude <= INT32_MAX) {
            magnitude = magnitude * 10 + (*text - '0');
        }
    }
    if (magnitude > INT32_MAX) {
        return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

bool Begins(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

RzResult CCmdCA::Execute() {
    char request[48];
    std::snprintf(request, sizeof(request), "CA%d,%d", mode, loop);
    return ExchangeStatus(request);
}

RzResult CCmdRL::Execute() {
    char request[48];
    std::snprintf(request, sizeof(request), "RL%d,%d", state, loop);
    return ExchangeStatus(request);
}

RzResult CCmdOC::Execute() {
    if (state != 0 && state != 1) {
        return LINK_E_PARAMETER;
    }
    char request[48];
    std::snprintf(request, sizeof(request), "OC%d,%d", state, loop);
    return ExchangeStatus(request);
}

RzResult CCmdHJ::Execute() {
    const RzExpected<int32_t> scaled = ScaleRequestValue(value, decimals);
    if (!scaled) {
        return scaled.code();
    }
    char request[48];
    std::snprintf(request, sizeof(request), "HJ%d,%d", *scaled, loop);
    return ExchangeStatus(request);
}

RzResult CCmdGO::Execute() {
    const RzExpected<int32_t> scaled = ScaleRequestValue(value, decimals);
    if (!scaled) {
        return scaled.code();
    }
    char request[64];
    std::snprintf(request, sizeof(request), "GO%d,%d,%d", loop, setPointNumber, *scaled);
    return ExchangeStatus(request);
}

RzResult CCmdDT::Execute() {
    const RzExpected<int32_t> scaled = ScaleRequestValue(value, decimals);
    if (!scaled) {
        return scaled.code();
    }
    char request[64];
    std::snprintf(request, sizeof(request), "DT%d,%d,SP,%d", loop, setPointNumber, *scaled);
    return ExchangeStatus(request);
}

RzResult CCmdDT::Query() {
    for (int l = 0; l < kDtLoops; ++l) {
        for (int k = 0; k < kDtSetPoints; ++k) {
            outputHigh[l][k] = 0.0;
            outputLow[l][k] = 0.0;
        }
    }
    char request[48];
    std::snprintf(request, sizeof(request), "DT%d,%d?", loop, pidNumber);
    FieldRows rows;
    const LineWalkOptions options{AnswerErrorTest::kNotListOpener, true, kLineWalkCapacity};
    return RunLineWalk(link_, request, options, [this, &rows](const char* line, int) {
        if (Begins(line, "EA") || Begins(line, "EN")) {
            return RZ_OK;
        }
        const RzResult split = SplitFields(rows, line, 6);
        if (split != RZ_OK) {
            return split;
        }
        const int32_t answerLoop = ReadNumber(rows[0]);
        const int32_t number = ReadNumber(rows[1]);
        // Numbers outside the tables are not the instrument's to send; they are ignored.
        if (answerLoop < 1 || answerLoop > kDtLoops || number < 1 || number > kDtSetPoints) {
            return RZ_OK;
        }
        const double limit = ReadNumber(rows[3]);
        if (std::strcmp(rows[2], "OH") == 0) {
            outputHigh[answerLoop - 1][number - 1] = limit;
        } else if (std::strcmp(rows[2], "OL") == 0) {
            outputLow[answerLoop - 1][number - 1] = limit;
        }
        return RZ_OK;
    });
}

RzResult CCmdDL::Execute() {
    char request[48];
    std::snprintf(request, sizeof(request), "DL%d,%d", point, mode);
    return ExchangeStatus(request);
}

RzResult CCmdDM::Execute() {
    char request[48];
    std::snprintf(request, sizeof(request), "DM%d,%d", point, value);
    return ExchangeStatus(request);
}

RzResult CCmdDV::Execute() {
    // The item and record tables have one entry per loop; any other loop number would index
    // past them.
    if (loop < 1 || loop > kDvLoops) {
        return LINK_E_PARAMETER;
    }
    char* itemText = item[loop - 1];
    for (int i = 0; i < kDvItemSize && itemText[i] != '\0'; ++i) {
        if (itemText[i] >= 'a' && itemText[i] <= 'z') {
            itemText[i] = static_cast<char>(itemText[i] - 'a' + 'A');
        }
    }
    // The caller may fill all six bytes; compare without relying on a terminator.
    auto itemIs = [itemText](const char* name) {
        const size_t length = std::strlen(name);
        return std::strncmp(itemText, name, length) == 0 &&
               (length == kDvItemSize || itemText[length] == '\0');
    };
    const CDvLoopRecord& record = records[loop - 1];
    char request[64];
    if (itemIs("MODE")) {
        std::snprintf(request, sizeof(request), "DV%d,MODE,%d", loop, record.mode);
    } else if (itemIs("RL")) {
        std::snprintf(request, sizeof(request), "DV%d,RL,%d", loop, record.remote);
    } else if (itemIs("SR")) {
        std::snprintf(request, sizeof(request), "DV%d,SR,%d", loop, record.runStop == 1 ? 1 : 0);
    } else if (itemIs("MOUT")) {
        const RzExpected<int32_t> scaled =
            ScaleRequestValue(record.manualOutput, record.outputDecimals);
        if (!scaled) {
            return scaled.code();
        }
        std::snprintf(request, sizeof(request), "DV%d,MOUT,%d", loop, *scaled);
    } else {
        return RZ_OK;
    }
    return ExchangeStatus(request);
}

RzResult CListStatusCommand::ExchangeListStatus(const char* request) {
    RzResult result = SendRequest(request);
    if (result != RZ_OK) {
        return result;
    }
    // The answer is a single line.
    char buffer[kLineBufferSize + 1];
    const RzExpected<uint32_t> received = link_->Receive(buffer, kLineBufferSize, RECV_LINE);
    if (!received) {
        return received.code();
    }
    buffer[*received < kLineBufferSize ? *received : kLineBufferSize] = '\0';
    if (buffer[0] == 'E' && buffer[1] == '0') {
        return RZ_OK;
    }
    ShowStatusMessage(buffer);
    return buffer[0] == 'E' && buffer[1] == 'A' ? REPLY_UNEXPECTED : REPLY_ERROR;
}

RzResult CCmdPN::Execute() {
    if (static_cast<uint32_t>(pattern) - 1u >= 30u) {
        return LINK_E_PARAMETER;
    }
    char request[32];
    std::snprintf(request, sizeof(request), "PN %d", pattern);
    return ExchangeListStatus(request);
}

RzResult CCmdPX::Execute() {
    char request[32];
    std::snprintf(request, sizeof(request), "PX %d", run);
    return ExchangeListStatus(request);
}

RzResult CCmdHU::Execute() {
    char request[32];
    std::snprintf(request, sizeof(request), "HU %d", hold);
    return ExchangeStatus(request);
}

RzResult CCmdAD::Execute() {
    return ExchangeStatus("AD 1");
}

RzResult CCmdPS::Execute() {
    return ExchangeStatus(start != 0 ? "PS 0" : "PS 1");
}

RzResult CCmdTL::Execute() {
    switch (action) {
        case 1:
            return ExchangeStatus("TL 0");
        case 2:
            return ExchangeStatus("TL 1");
        case 3:
            return ExchangeStatus("TL 2");
        default:
            return LINK_E_PARAMETER;
    }
}

RzResult CCmdAK::Execute() {
    return ExchangeStatus("AK 0");
}

RzResult CCmdEV::Execute() {
    char request[32];
    std::snprintf(request, sizeof(request), "EV %d", kind);
    return ExchangeStatus(request);
}

RzResult CCmdMS::Execute() {
    if (static_cast<uint32_t>(message) - 1u >= 8u) {
        return LINK_E_PARAMETER;
    }
    if (identity_ == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    char request[32];
    if (identity_->pidAux[4] != 0) {
        std::snprintf(request, sizeof(request), "MS1,%d", message);
    } else {
        std::snprintf(request, sizeof(request), "MS %d", message);
    }
    return ExchangeStatus(request);
}
