#pragma once

#include <cstring>
#include <memory>

#include "model/InstrumentModel.h"

// A settings model as the connection start leaves it for an instrument of `modelClass` (3100 or
// 3200) with firmware `major`.`minor`: identity copy and group and point counts filled, the user
// an ordinary one, everything else zero.
inline std::unique_ptr<CInstrumentModel> MakeModel(int32_t modelClass = 3200, int32_t major = 3,
                                                   int32_t minor = 6) {
    auto model = std::make_unique<CInstrumentModel>();
    std::memcpy(model->family, "RZ", 3);
    model->modelClass = modelClass;
    model->firmwareMajor = major;
    model->version = major * 65536 + minor;
    model->displayGroupCount = modelClass == 3100 ? 6 : 10;
    model->controlGroupCount = modelClass == 3100 ? 4 : 8;
    model->dioCount = modelClass == 3100 ? 12 : 36;
    model->programOption = 1;
    model->userCode[0] = 'E';
    model->accessLevel[0] = 'U';
    return model;
}
