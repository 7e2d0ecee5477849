#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "SimPlant.h"
#include "SimProfile.h"

// What the instrument's front panel and status words hold besides its setup.
struct CSimPanel {
    uint8_t filter[4] = {255, 255, 255, 255};  // status filter set by "IF"
    bool alarmsUnacknowledged = false;
    int selectedPattern = 1;            // the pattern that program operations act on ("PN")
    int programDisplayPattern = 1;      // shown on the program display ("&4")
    std::string displayWord = "TREND";  // the display shown ("UD 1,...")
    int displayGroup = 1;               // its group, 0 for displays without one
    bool trendFirst = false;            // "UD 4," options in request order
    bool trendAllChannels = false;
    bool trendScale = true;
    bool trendDigital = true;
    int dataSaves[5] = {};  // "EV" requests by kind
};

// Commands that only some firmware offers.
enum class SimGate { kAlways, kMajor2, kMajor3, kVersion306 };

// The simulated instrument's state, built from a profile. The server guards it with one mutex;
// command handlers get it only while that mutex is held.
class CSimInstrument {
  public:
    explicit CSimInstrument(CSimProfile profile);

    const CSimProfile& Profile() const { return profile_; }

    // The user of that exact name, or nullptr.
    const CSimUser* FindUser(std::string_view name) const {
        for (const auto& user : profile_.users) {
            if (user.name == name) {
                return &user;
            }
        }
        return nullptr;
    }

    // The working setup: starts as the profile's and is changed by operations.
    CSimSetup& Setup() { return setup_; }
    const CSimSetup& Setup() const { return setup_; }
    CSimPanel& Panel() { return panel_; }
    const CSimPanel& Panel() const { return panel_; }

    int FirmwareMajor() const { return major_; }
    uint32_t VersionWord() const { return static_cast<uint32_t>(major_) * 65536u + minor_; }
    bool Offers(SimGate gate) const;
    bool HasProgram() const { return profile_.programOption != SimProgramOption::kNone; }
    int PatternCapacity() const { return SimPatternCapacity(profile_.programOption); }
    int DisplayGroupCount() const { return SimDisplayGroupCount(profile_.model); }
    int ControlGroupCount() const { return SimControlGroupCount(profile_.model); }
    int DioPointCount() const { return SimDioPointCount(profile_.model); }
    int ExtLoopCapacity() const { return SimExtLoopCapacity(profile_.model); }
    int LastChannelNumber() const { return SimLastChannelNumber(profile_.model); }

    // The instrument's clock: the profile's start time plus the time since start-up.
    std::string DateText() const;
    std::string TimeText() const;
    std::string DateTimeText() const;  // "24/05/17 09:30:00", the stamp of a log line

    // Adds a line to a log; the oldest lines go once the log holds its capacity.
    void AppendLog(int kind, const std::string& line);

    // The plant. With a live plant every request first brings it up to the clock (a manual
    // clock advances at "FD" requests), and afterwards the communication log records the
    // exchange and the error log a refused request.
    const CSimPlantSettings& PlantSettings() const { return profile_.plant; }
    const CSimPlant& Plant() const { return plant_; }
    // Counts the accepted operations, so a screen is drawn again after one.
    uint64_t Revision() const { return revision_; }
    void BeginRequest(std::string_view request);
    void EndRequest(std::string_view request, std::string_view answer);

    // The screen as a PNG file: what the display shows now with a live plant (drawn at most
    // once per plant step and display state), the fixed picture otherwise.
    const std::string& ScreenPng();

  private:
    int64_t ClockMilliseconds() const;

    CSimProfile profile_;
    CSimSetup setup_;
    CSimPanel panel_;
    int major_ = 0;
    uint32_t minor_ = 0;
    std::chrono::steady_clock::time_point started_;
    CSimPlant plant_;
    int64_t manualMs_ = 0;
    uint64_t revision_ = 0;  // the manual clock's time since start-up
    std::string screenPng_;
    std::string screenKey_;  // what screenPng_ was drawn from
};
