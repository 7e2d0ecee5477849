#pragma once

#include <QJsonObject>

#include "model/InstrumentModel.h"

// The whole settings model as one JSON object whose keys are the model's field names.
QJsonObject ModelToJson(const CInstrumentModel& model);
