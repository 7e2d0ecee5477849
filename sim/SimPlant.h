#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "SimSetup.h"

class CSimInstrument;

// One reported item of the instrument by channel number (1-30 measurement, 31-60 math,
// 101-118 internal loop PV/SP/OUT, 201-248 external loop PV/SP/OUT): what the screens draw and
// what loops and math read.
struct CSimItem {
    std::string tag;
    std::string unit;
    double value = 0.0;
    double low = 0.0;  // the scale the screens draw it on
    double high = 1.0;
    int decimals = 1;
    char status = 'N';
    bool alarm = false;
};

// False when the number names nothing configured.
bool SimFindItem(const CSimInstrument& instrument, int number, CSimItem* item);

// Fills in what a profile left open: the range a measurement channel moves in (around its
// value), the scale of math channels, the wave of channels without one, fault statuses.
void SimResolvePlant(CSimSetup& setup);

// The channel a scheduled alarm (CSimSetup::alarmEveryMs) acts on: the first configured
// measurement channel with an input type; 0 without a schedule or such a channel.
int SimScheduledAlarmChannel(const CSimSetup& setup);
// Whether the scheduled alarm is up `ms` into the plant's time.
bool SimScheduledAlarmUp(const CSimSetup& setup, int64_t ms);

// The segments of a pattern the profile gave none: 30, 60 and 30 s across its loop's SP span
// (0 to 100 without a loop).
std::vector<CSimSegment> SimDefaultSegments(const CSimSetup& setup, const CSimPattern& pattern);

// The simulated process behind the instrument. It runs in fixed steps of kStepMs, so the values
// after a given time are the same whether that time came in one piece or many; it keeps a
// sampled history of every item for the trend display.
class CSimPlant {
  public:
    static constexpr int64_t kStepMs = 100;
    static constexpr int64_t kSampleMs = 1000;
    static constexpr int kHistory = 300;  // samples kept per item
    static constexpr int kSeries = 126;   // 30 + 30 + 6 * 3 + 16 * 3
    // Time the plant makes up at most in one go; a longer pause (real time only) is skipped.
    static constexpr int64_t kMaxCatchUpMs = 600000;

    explicit CSimPlant(uint64_t seed = 1);

    // Runs whole steps until the plant's time reaches `ms` since start-up.
    void AdvanceTo(CSimInstrument& instrument, int64_t ms);
    // Takes the first history sample; called once the instrument is set up.
    void Start(const CSimInstrument& instrument);

    uint64_t Steps() const { return steps_; }
    int64_t TimeMs() const { return timeMs_; }

    // The history of channel `number` (as SimFindItem), oldest first; empty for other numbers.
    int HistoryCount() const { return count_; }
    std::vector<float> History(int number) const;

    // Series index of a channel number, -1 when it names none.
    static int SeriesOf(int number);

  private:
    void Step(CSimInstrument& instrument);
    void Sample(const CSimInstrument& instrument);
    double Random();  // uniform in [-1, 1]

    uint64_t state_;
    uint64_t steps_ = 0;
    int64_t timeMs_ = 0;
    int64_t nextSampleMs_ = 0;
    int64_t nextTransferMs_ = 60000;
    std::vector<std::array<float, kHistory>> history_;
    int head_ = 0;  // where the next sample goes
    int count_ = 0;
};
