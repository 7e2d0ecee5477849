#include "SimInstrument.h"

#include <cstdlib>

#include "SimDispatcher.h"
#include "SimScreen.h"

CSimInstrument::CSimInstrument(CSimProfile profile)
    : profile_(std::move(profile)),
      setup_(profile_.setup),
      started_(std::chrono::steady_clock::now()),
      plant_(profile_.plant.seed) {
    SimResolvePlant(setup_);
    if (const int n = SimScheduledAlarmChannel(setup_); n > 0 && profile_.plant.live) {
        setup_.channels[static_cast<size_t>(n - 1)].alarm = SimScheduledAlarmUp(setup_, 0);
    }
    // "major.minor", both decimal ("3.06" is 3 and 6), as the profile loader has checked.
    const std::string& version = profile_.firmwareVersion;
    const size_t dot = version.find('.');
    major_ = std::atoi(version.substr(0, dot).c_str());
    minor_ =
        dot == std::string::npos
            ? 0u
            : static_cast<uint32_t>(std::strtoul(version.substr(dot + 1).c_str(), nullptr, 10));
    for (const CSimChannel& channel : setup_.channels) {
        panel_.alarmsUnacknowledged = panel_.alarmsUnacknowledged || channel.alarm;
    }
    // The first pattern that exists is the one selected at start-up.
    for (int n = 1; n <= PatternCapacity(); ++n) {
        if (setup_.patterns[static_cast<size_t>(n - 1)].exists) {
            panel_.selectedPattern = n;
            panel_.programDisplayPattern = n;
            break;
        }
    }
    plant_.Start(*this);
}

bool CSimInstrument::Offers(SimGate gate) const {
    switch (gate) {
        case SimGate::kMajor2:
            return major_ >= 2;
        case SimGate::kMajor3:
            return major_ >= 3;
        case SimGate::kVersion306:
            return VersionWord() >= 0x30006u;
        case SimGate::kAlways:
            break;
    }
    return true;
}

int64_t CSimInstrument::ClockMilliseconds() const {
    if (profile_.plant.live && profile_.plant.stepMs > 0) {
        return setup_.clockStart * 1000 + manualMs_;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    return setup_.clockStart * 1000 + elapsed.count();
}

std::string CSimInstrument::DateText() const {
    return SimDateText(ClockMilliseconds() / 1000);
}

std::string CSimInstrument::TimeText() const {
    const int64_t ms = ClockMilliseconds();
    return SimTimeText(ms / 1000, static_cast<int>(ms % 1000));
}

std::string CSimInstrument::DateTimeText() const {
    const int64_t seconds = ClockMilliseconds() / 1000;
    return SimDateText(seconds) + " " + SimTimeText(seconds, 0).substr(0, 8);
}

void CSimInstrument::AppendLog(int kind, const std::string& line) {
    if (kind < 0 || kind >= kSimLogKinds) {
        return;
    }
    auto& log = setup_.logs[static_cast<size_t>(kind)];
    log.push_back(line);
    const size_t capacity = kSimLogKindTable[kind].capacity;
    if (log.size() > capacity) {
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(log.size() - capacity));
    }
}

void CSimInstrument::BeginRequest(std::string_view request) {
    if (!profile_.plant.live) {
        return;
    }
    if (profile_.plant.stepMs > 0 && SimRequestKey(request) == "FD") {
        manualMs_ += profile_.plant.stepMs;
    }
    plant_.AdvanceTo(*this, ClockMilliseconds() - setup_.clockStart * 1000);
}

void CSimInstrument::EndRequest(std::string_view request, std::string_view answer) {
    if (!profile_.plant.live) {
        return;
    }
    // An accepted operation may change what a screen shows even between plant steps.
    if (answer == "E0\r\n") {
        ++revision_;
    }
    // Log lines are single printable lines of bounded length, whatever the request held.
    std::string text;
    for (const char c : request.substr(0, 80)) {
        text += c >= ' ' && c <= '~' ? c : '?';
    }
    const bool refused = answer.rfind("E1", 0) == 0;
    AppendLog(kSimLogCom, DateTimeText() + " " + text + (refused ? " NG" : " OK"));
    if (refused) {
        std::string reason(answer.substr(0, answer.find('\r')));
        AppendLog(kSimLogErr, DateTimeText() + " " + text + " " + reason.substr(0, 60));
    }
    if (text == "FC GET") {
        AppendLog(kSimLogWeb, DateTimeText() + " Screen image sent");
    }
}

const std::string& CSimInstrument::ScreenPng() {
    if (!profile_.plant.live) {
        return SimPlaceholderPng(profile_.model);
    }
    const std::string key = SimScreenKey(*this);
    if (screenPng_.empty() || key != screenKey_) {
        screenPng_ = SimRenderScreenPng(*this);
        screenKey_ = key;
    }
    return screenPng_;
}
