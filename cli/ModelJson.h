#pragma once

#include <QJsonArray>
#include <QJsonObject>

#include "model/InstrumentModel.h"

class CInstrumentRegistry;

// The whole settings model as one JSON object whose keys are the model's field names.
QJsonObject ModelToJson(const CInstrumentModel& model);

// What `info` prints: the connection and the identity, under the model's field names.
QJsonObject IdentityToJson(const CInstrumentModel& model, unsigned connectionId);

// A log as `log KIND` reads it: the kind and one string per line.
QJsonObject LogToJson(const char* kind, const char* text);

// The registered instruments, each with its name and address.
QJsonArray RegistryToJson(const CInstrumentRegistry& registry);

// Writes `json` and a line end to stdout, on one line when `compact`.
void PrintJson(const QJsonValue& json, bool compact);
