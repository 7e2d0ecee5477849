#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/FakeLink.h"

struct CInstrumentModel;

// The fields of one entry of a query's results, joined by '|', so that a table row can state
// them in one text.
template <typename... T>
std::string Row(const T&... values) {
    std::ostringstream out;
    const char* separator = "";
    ((out << separator << values, separator = "|"), ...);
    return out.str();
}

// A list answer of `count` data lines, line i made by `line(i)`.
inline std::string ListOf(int count, const std::function<std::string(int)>& line) {
    std::string answer = "EA\r\n";
    for (int i = 0; i < count; ++i) {
        answer += line(i) + "\r\n";
    }
    return answer + "EN\r\n";
}

// Entry `index` of a query's results; each test file defines it for its commands, with the
// numbering it documents.
template <typename Command>
std::string Entry(const Command& command, int index);

// Runs one case of a query: a fresh object, left by `stale` as an earlier run would leave it,
// gets `answer`; the result must be `expected`, every "n=fields" entry must read so ("?=text|mode"
// is the request sent), and `shown` is the one text shown to the operator, if any.
template <typename Command>
auto Runner(std::function<void(Command&)> stale = {}, const CInstrumentModel* identity = nullptr) {
    return [stale, identity](const char* name, const std::string& answer, RzResult expected,
                             const std::vector<std::string>& entries, const char* shown = nullptr) {
        SCOPED_TRACE(name);
        ShownMessages messages;
        FakeLink link;
        link.QueueAnswer(answer);
        Command command;
        if (stale) {
            stale(command);
        }
        command.Bind(&link, identity);
        EXPECT_EQ(command.Query(), expected);
        EXPECT_EQ(link.pendingAnswers(), 0u);
        EXPECT_EQ(link.requests().size(), 1u);
        for (const auto& entry : entries) {
            if (entry.rfind("?=", 0) == 0 && !link.requests().empty()) {
                const auto& request = link.requests()[0];
                EXPECT_EQ(Row(request.text, request.mode), entry.substr(2)) << "request";
                continue;
            }
            const size_t equals = entry.find('=');
            EXPECT_EQ(Entry(command, std::stoi(entry.substr(0, equals))), entry.substr(equals + 1))
                << "entry " << entry;
        }
        EXPECT_EQ(messages.texts,
                  shown != nullptr ? std::vector<std::string>{shown} : std::vector<std::string>{});
    };
}
