#include "SimPlantServer.h"

#include <cmath>
#include <map>

#include "SimCommands.h"
#include "SimProfile.h"

namespace {

const char* const kUnitNames[] = {"Furnace", "Dryer", "Kiln",    "Boiler", "Mixer",
                                  "Oven",    "Press", "Reactor", "Still",  "Tank"};
const char* const kPlantProfiles[] = {"full", "rz3200v2", "rz3100"};
// A free port found at the first address may be taken at another; the plant then tries again.
constexpr int kPortAttempts = 10;

// What sets instrument `number` (from 1) of a plant apart from the others made from the same
// profile: its tags, seed and wave periods, and an alarm only when it has the scheduled one.
void MakeOwn(CSimProfile& profile, int number, bool alarms) {
    const std::string prefix = std::to_string(number) + "-";
    const auto retag = [&prefix](std::string& tag) {
        if (!tag.empty()) {
            tag = (prefix + tag).substr(0, kSimNameMax);
        }
    };
    profile.plant.seed += static_cast<uint64_t>(number - 1);
    CSimSetup& setup = profile.setup;
    for (size_t i = 0; i < setup.channels.size() + setup.mathChannels.size(); ++i) {
        const bool math = i >= setup.channels.size();
        CSimChannel& channel =
            math ? setup.mathChannels[i - setup.channels.size()] : setup.channels[i];
        retag(channel.tag);
        channel.alarm = false;
        channel.alarmHighSet = false;
        channel.alarmLowSet = false;
        if (math) {
            continue;
        }
        channel.periodS *= 1.0 + 0.1 * ((number - 1) % 5);
        // Waves that follow the clock alone get a little noise, so that the seed shows.
        const bool wave = channel.wave == kSimWaveAuto || channel.wave == kSimWaveSine;
        if (wave && channel.inputType != "DI" && channel.noise == 0.0) {
            channel.noise = 2.0 / std::pow(10.0, channel.decimals);
        }
    }
    for (CSimLoop& loop : setup.loops) {
        for (std::string* tag : {&loop.pvTag, &loop.spTag, &loop.outTag}) {
            retag(*tag);
        }
        loop.alarm = false;
    }
    for (CSimExtLoop& loop : setup.extLoops) {
        for (std::string* tag : {&loop.tag, &loop.pvTag, &loop.spTag, &loop.outTag}) {
            retag(*tag);
        }
    }
    if (alarms) {
        setup.alarmEveryMs = kSimPlantAlarmEveryMs;
        setup.alarmOnMs = kSimPlantAlarmOnMs;
    }
}

}  // namespace

std::unique_ptr<CSimPlantServer> CSimPlantServer::Make(const CSimOptions& options,
                                                       std::string* error) {
    std::unique_ptr<CSimPlantServer> plant(new CSimPlantServer());
    plant->options_ = options;
    const size_t count = options.instruments;
    std::map<std::string, CSimProfile> loaded;
    for (size_t i = 0; i < count; ++i) {
        const int number = static_cast<int>(i) + 1;
        CSimPlantMember member;
        member.name =
            std::string(kUnitNames[i % std::size(kUnitNames)]) + " " + std::to_string(number);
        member.address = SimInstrumentAddress(options, static_cast<uint32_t>(i));
        if (count == 1) {
            member.profile = options.profile;
        } else if (options.profiles.empty()) {
            member.profile = kPlantProfiles[i % std::size(kPlantProfiles)];
        } else {
            member.profile = options.profiles[i % options.profiles.size()];
        }
        member.alarms = count > 1 && i % 4 == 1;
        auto found = loaded.find(member.profile);
        if (found == loaded.end()) {
            CSimProfile profile;
            std::string reason;
            if (!LoadSimProfile(member.profile, &profile, &reason)) {
                *error = "profile: " + reason;
                return nullptr;
            }
            found = loaded.emplace(member.profile, std::move(profile)).first;
        }
        CSimProfile profile = found->second;
        profile.plant = options.plant;
        if (count > 1) {
            MakeOwn(profile, number, member.alarms);
        }
        const auto faults = options.faultsFor.find(member.address);
        plant->servers_.push_back(std::make_unique<CSimServer>(
            std::move(profile), faults != options.faultsFor.end() ? faults->second : options.faults,
            options.limits));
        plant->members_.push_back(std::move(member));
    }
    return plant;
}

CSimPlantServer::~CSimPlantServer() {
    Stop();
}

bool CSimPlantServer::Start() {
    if (!commandsRegistered_) {
        for (auto& server : servers_) {
            if (!RegisterInstrumentCommands(*server)) {
                lastError_ = "the instrument's commands could not be registered";
                return false;
            }
        }
        commandsRegistered_ = true;
    }
    Stop();
    if (!acceptor_.Start(&lastError_)) {
        return false;
    }
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        if (StartAt(options_.port)) {
            return true;
        }
        if (options_.port != 0) {
            break;
        }
    }
    acceptor_.Stop();
    return false;
}

bool CSimPlantServer::StartAt(uint16_t port) {
    for (size_t i = 0; i < servers_.size(); ++i) {
        if (options_.stopped.count(members_[i].address) != 0) {
            continue;
        }
        const uint16_t bound = servers_[i]->Start(port, members_[i].address, acceptor_);
        if (bound == 0) {
            lastError_ = servers_[i]->LastError();
            for (auto& server : servers_) {
                server->Stop();
            }
            return false;
        }
        port = bound;
    }
    port_ = port;
    return true;
}

void CSimPlantServer::Stop() {
    for (auto& server : servers_) {
        server->Stop();
    }
    acceptor_.Stop();
}

bool CSimPlantServer::SetServed(int index, bool served) {
    CSimServer& server = Instrument(index);
    if (!served) {
        server.Stop();
        return true;
    }
    if (server.IsRunning()) {
        return true;
    }
    if (server.Start(port_, Member(index).address, acceptor_) == 0) {
        lastError_ = server.LastError();
        return false;
    }
    return true;
}
