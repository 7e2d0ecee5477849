#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandSet.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "session/ModelLoader.h"
#include "unit/commands/FakeLink.h"

// The dotted status record of "FM", "DR" and "IS 0".
inline std::string StatusRecord(const char* dotted) {
    return List({dotted});
}

// A values line: status letter at 0, number at 2 to 4, unit at 17, mantissa at 23 and exponent
// at 30 (33 for math items, whose mantissa has nine characters).
inline std::string ValueLine(char status, const std::string& number, const std::string& mantissa,
                             const std::string& exponent, bool math = false) {
    std::string line(math ? 36 : 33, ' ');
    const auto put = [&line](size_t at, size_t width, const std::string& text) {
        line.replace(at, std::min(width, text.size()), text.substr(0, width));
    };
    line[0] = status;
    put(2, 3, number);
    put(17, 6, "UNIT");
    put(23, math ? 9 : 6, mantissa);
    put(math ? 33 : 30, 3, exponent);
    return line;
}

// A command set bound to a scripted link and to a model whose identity copy is filled as
// connection start fills it; the loader under test works on both.
class LoaderTest : public ::testing::Test {
  protected:
    LoaderTest() { Reset(3200, 3); }

    void Reset(int32_t modelClass, int32_t firmwareMajor) {
        link = std::make_unique<FakeLink>();
        model = std::make_unique<CInstrumentModel>();
        std::memset(model.get(), 0, sizeof(CInstrumentModel));
        std::memcpy(model->family, "RZ", 3);
        model->modelClass = modelClass;
        model->firmwareMajor = firmwareMajor;
        model->version = firmwareMajor * 65536 + 6;
        model->displayGroupCount = modelClass == 3100 ? 6 : 10;
        model->controlGroupCount = modelClass == 3100 ? 4 : 8;
        model->dioCount = modelClass == 3100 ? 12 : 36;
        model->programOption = 1;
        model->userCode[0] = 'E';
        model->accessLevel[0] = 'U';
        commands = std::make_unique<CCommandSet>();
        commands->Bind(link.get(), model.get(), model.get());
        loader = std::make_unique<CModelLoader>(*commands, *model);
    }

    std::vector<std::string> Sent() const {
        std::vector<std::string> texts;
        for (const auto& request : link->requests()) {
            texts.push_back(request.text);
        }
        return texts;
    }

    // A copy of the model's bytes, to show that a step changed nothing.
    std::vector<unsigned char> Snapshot() const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(model.get());
        return {bytes, bytes + sizeof(CInstrumentModel)};
    }

    std::vector<std::string> shown;
    ScopedStatusSink sink{[this](const std::string& text) { shown.push_back(text); }};
    std::unique_ptr<FakeLink> link;
    std::unique_ptr<CInstrumentModel> model;
    std::unique_ptr<CCommandSet> commands;
    std::unique_ptr<CModelLoader> loader;
};
