#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/CommandSet.h"
#include "common/AnswerBytes.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "session/ModelLoader.h"
#include "unit/commands/QueryRunner.h"

using Requests = std::vector<std::string>;

// A command set bound to a scripted link and to a model whose identity copy is filled as
// connection start fills it; the loader under test works on both.
class LoaderTest : public ::testing::Test {
  protected:
    LoaderTest() { Reset(3200, 3); }

    void Reset(int32_t modelClass, int32_t firmwareMajor) {
        link = std::make_unique<FakeLink>();
        model = MakeModel(modelClass, firmwareMajor);
        commands = std::make_unique<CCommandSet>();
        commands->Bind(link.get(), model.get(), model.get());
        loader = std::make_unique<CModelLoader>(*commands, *model);
    }

    Requests Sent() const {
        Requests texts;
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
