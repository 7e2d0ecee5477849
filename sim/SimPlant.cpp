#include "SimPlant.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "SimInstrument.h"

namespace {

// The largest magnitude a value can be reported with at `decimals` places.
double ReportLimit(int decimals, int64_t mantissa) {
    return static_cast<double>(mantissa) / std::pow(10.0, decimals);
}

std::string ChannelName(int number) {
    char text[8];
    std::snprintf(text, sizeof text, "CH%03d", number);
    return text;
}

// Raises or clears a channel's alarm; a new alarm stays unacknowledged until "AK" and is logged
// and mailed, a cleared one is logged.
void SetAlarm(CSimInstrument& instrument, CSimChannel& channel, int number, bool active,
              bool high) {
    if (active == channel.alarm) {
        return;
    }
    channel.alarm = active;
    const std::string stamp = instrument.DateTimeText() + " " + ChannelName(number);
    if (active) {
        instrument.Panel().alarmsUnacknowledged = true;
        instrument.AppendLog(kSimLogAlarm, stamp + (high ? " H" : " L") + " ON");
        instrument.AppendLog(kSimLogEmail, stamp + " Alarm mail sent");
    } else {
        instrument.AppendLog(kSimLogAlarm, stamp + " OFF");
    }
}

// Raises or clears a channel's alarm against its limits.
void CheckAlarm(CSimInstrument& instrument, CSimChannel& channel, int number) {
    if (!channel.alarmHighSet && !channel.alarmLowSet) {
        return;
    }
    const bool high = channel.alarmHighSet && channel.value > channel.alarmHigh;
    const bool low = channel.alarmLowSet && channel.value < channel.alarmLow;
    SetAlarm(instrument, channel, number, high || low, high);
}

// Velocity-form PI step on a percentage error; returns the new output within its limits.
double PiOutput(double out, double error, double* lastError, double kp, double tiS, double dt,
                double low, double high) {
    out += kp * (error - *lastError) + kp * dt / tiS * error;
    *lastError = error;
    return std::clamp(out, low, high);
}

// A first-order lag towards the PV that `out` holds the process at.
double ProcessPv(double pv, double out, double outLow, double outHigh, double spLow, double spHigh,
                 double gain, double tauS, double dt) {
    const double outSpan = outHigh > outLow ? outHigh - outLow : 1.0;
    const double target = spLow + (spHigh - spLow) * gain * (out - outLow) / outSpan;
    return pv + (target - pv) * std::min(1.0, dt / tauS);
}

}  // namespace

int SimScheduledAlarmChannel(const CSimSetup& setup) {
    if (setup.alarmEveryMs == 0) {
        return 0;
    }
    for (size_t i = 0; i < setup.channels.size(); ++i) {
        if (setup.channels[i].configured && !setup.channels[i].inputType.empty()) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

bool SimScheduledAlarmUp(const CSimSetup& setup, int64_t ms) {
    return setup.alarmEveryMs > 0 && ms % setup.alarmEveryMs < setup.alarmOnMs;
}

std::vector<CSimSegment> SimDefaultSegments(const CSimSetup& setup, const CSimPattern& pattern) {
    double low = 0.0;
    double high = 100.0;
    if (pattern.loop >= 1 && setup.loops[static_cast<size_t>(pattern.loop - 1)].configured) {
        low = setup.loops[static_cast<size_t>(pattern.loop - 1)].spLow;
        high = setup.loops[static_cast<size_t>(pattern.loop - 1)].spHigh;
    }
    const double span = high - low;
    return {{30.0, low + 0.5 * span}, {60.0, low + 0.8 * span}, {30.0, low + 0.3 * span}};
}

int CSimPlant::SeriesOf(int number) {
    if (number >= 1 && number <= 60) {
        return number - 1;
    }
    if (number >= 101 && number <= 118) {
        return 60 + number - 101;
    }
    if (number >= 201 && number <= 248) {
        return 78 + number - 201;
    }
    return -1;
}

bool SimFindItem(const CSimInstrument& instrument, int number, CSimItem* item) {
    const CSimSetup& setup = instrument.Setup();
    if (number >= 1 && number <= 60) {
        const bool math = number > 30;
        const CSimChannel& channel = math ? setup.mathChannels[static_cast<size_t>(number - 31)]
                                          : setup.channels[static_cast<size_t>(number - 1)];
        if (!channel.configured || (!math && channel.inputType.empty())) {
            return false;
        }
        *item = {channel.tag,  channel.unit,     channel.value,  channel.low,
                 channel.high, channel.decimals, channel.status, channel.alarm};
        if (item->tag.empty()) {
            item->tag = ChannelName(number);
        }
        return true;
    }
    const bool external = number >= 201 && number <= 248;
    if (!external && !(number >= 101 && number <= 118)) {
        return false;
    }
    const int offset = number - (external ? 201 : 101);
    const int n = offset / 3;
    const int q = offset % 3;
    if (external) {
        if (n >= instrument.ExtLoopCapacity()) {
            return false;
        }
        const CSimExtLoop& loop = setup.extLoops[static_cast<size_t>(n)];
        if (!loop.configured || !loop.inUse) {
            return false;
        }
        const size_t k = static_cast<size_t>(loop.spNumber - 1);
        const std::string tags[3] = {loop.pvTag, loop.spTag, loop.outTag};
        const double values[3] = {loop.pv, loop.Sp(), loop.out};
        *item = {tags[q],
                 q == 2 ? "%" : loop.unit,
                 values[q],
                 q == 2 ? loop.outLow[k] : loop.spLow,
                 q == 2 ? loop.outHigh[k] : loop.spHigh,
                 q == 0 ? loop.pvDecimals : (q == 1 ? loop.spDecimals : loop.outDecimals),
                 'N',
                 false};
    } else {
        const CSimLoop& loop = setup.loops[static_cast<size_t>(n)];
        if (!loop.configured) {
            return false;
        }
        const std::string tags[3] = {loop.pvTag, loop.spTag, loop.outTag};
        const double values[3] = {loop.pv, loop.EffectiveSp(), loop.out};
        *item = {tags[q],
                 q == 2 ? "%" : loop.unit,
                 values[q],
                 q == 2 ? loop.outLow : loop.spLow,
                 q == 2 ? loop.outHigh : loop.spHigh,
                 q == 0 ? loop.pvDecimals : (q == 1 ? loop.spDecimals : loop.outDecimals),
                 'N',
                 q == 0 && loop.alarm};
    }
    if (item->tag.empty()) {
        static const char* const kParts[] = {"PV", "SP", "OUT"};
        item->tag = (external ? "EXT" : "LOOP") + std::to_string(n + 1) + "." + kParts[q];
    }
    if (item->high <= item->low) {
        item->high = item->low + 1.0;
    }
    return true;
}

void SimResolvePlant(CSimSetup& setup) {
    for (size_t i = 0; i < setup.channels.size() + setup.mathChannels.size(); ++i) {
        const bool math = i >= setup.channels.size();
        CSimChannel& channel =
            math ? setup.mathChannels[i - setup.channels.size()] : setup.channels[i];
        const double limit =
            ReportLimit(channel.decimals, math ? kSimMathMantissaMax : kSimMantissaMax);
        if (channel.low == 0.0 && channel.high == 0.0) {
            if (channel.inputType == "DI") {
                channel.high = 1.0;
            } else {
                // A tenth of the value either side, and at least ten counts of its last digit.
                const double span = std::max(std::fabs(channel.value) * 0.1,
                                             10.0 / std::pow(10.0, channel.decimals));
                channel.low = channel.value - span;
                channel.high = channel.value + span;
            }
        }
        channel.low = std::clamp(channel.low, -limit, limit);
        channel.high = std::clamp(channel.high, -limit, limit);
        if (channel.wave == kSimWaveAuto) {
            channel.wave = channel.inputType == "DI" || math ? kSimWaveConstant : kSimWaveSine;
        }
        if (channel.fault == kSimFaultOver) {
            channel.status = 'O';
        } else if (channel.fault == kSimFaultError) {
            channel.status = 'E';
        } else if (channel.status == 'O') {
            channel.fault = kSimFaultOver;
        } else if (channel.status == 'E') {
            channel.fault = kSimFaultError;
        }
    }
}

CSimPlant::CSimPlant(uint64_t seed)
    : state_(seed ^ 0x9E3779B97F4A7C15ull), history_(static_cast<size_t>(kSeries)) {}

double CSimPlant::Random() {
    // splitmix64: the same sequence for a seed on every platform.
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

void CSimPlant::Start(const CSimInstrument& instrument) {
    Sample(instrument);
    nextSampleMs_ = kSampleMs;
}

void CSimPlant::AdvanceTo(CSimInstrument& instrument, int64_t ms) {
    if (ms - timeMs_ > kMaxCatchUpMs) {
        // Whole steps only, so the phase of the step grid is kept.
        timeMs_ += (ms - timeMs_ - kMaxCatchUpMs) / kStepMs * kStepMs;
        nextSampleMs_ = std::max(nextSampleMs_, timeMs_);
        nextTransferMs_ = std::max(nextTransferMs_, timeMs_);
    }
    while (timeMs_ + kStepMs <= ms) {
        timeMs_ += kStepMs;
        Step(instrument);
        if (timeMs_ >= nextSampleMs_) {
            Sample(instrument);
            nextSampleMs_ += kSampleMs;
        }
    }
}

void CSimPlant::Step(CSimInstrument& instrument) {
    ++steps_;
    constexpr double dt = static_cast<double>(kStepMs) / 1000.0;
    const double t = static_cast<double>(timeMs_) / 1000.0;
    CSimSetup& setup = instrument.Setup();
    bool anyAlarm = false;
    const int scheduled = SimScheduledAlarmChannel(setup);

    for (int n = 1; n <= kSimMeasChannels; ++n) {
        CSimChannel& channel = setup.channels[static_cast<size_t>(n - 1)];
        if (!channel.configured || channel.inputType.empty()) {
            continue;
        }
        if (n == scheduled) {
            SetAlarm(instrument, channel, n, SimScheduledAlarmUp(setup, timeMs_), true);
        }
        if (channel.fault == kSimFaultOver) {
            channel.value = channel.high;  // pinned at the top of its range
        } else if (channel.fault == kSimFaultNone) {
            const double centre = (channel.low + channel.high) / 2.0;
            const double half = (channel.high - channel.low) / 2.0;
            const double phase = 0.7 * n;  // channels apart from each other
            switch (channel.wave) {
                case kSimWaveSine:
                    channel.value =
                        centre +
                        half * std::sin(2.0 * std::numbers::pi * t / channel.periodS + phase);
                    break;
                case kSimWaveRamp:
                    channel.value =
                        channel.low + (channel.high - channel.low) *
                                          std::fmod(t / channel.periodS + phase / 10.0, 1.0);
                    break;
                case kSimWaveWalk:
                    channel.value += half * 0.02 * Random();
                    break;
                default:
                    break;
            }
            if (channel.noise > 0.0) {
                channel.value += channel.noise * Random();
            }
            channel.value = std::clamp(channel.value, channel.low, channel.high);
            if (n != scheduled) {
                CheckAlarm(instrument, channel, n);
            }
        }
        anyAlarm = anyAlarm || channel.alarm;
    }

    if (setup.mathRunning) {
        for (int n = 1; n <= kSimMathChannels; ++n) {
            CSimChannel& channel = setup.mathChannels[static_cast<size_t>(n - 1)];
            if (!channel.configured || channel.mathOp == kSimMathNone || channel.inputs.empty() ||
                channel.fault != kSimFaultNone) {
                continue;
            }
            double result = 0.0;
            for (size_t i = 0; i < channel.inputs.size(); ++i) {
                const double v = setup.channels[static_cast<size_t>(channel.inputs[i] - 1)].value;
                result += channel.mathOp == kSimMathDifference && i > 0 ? -v : v;
            }
            if (channel.mathOp == kSimMathAverage) {
                result /= static_cast<double>(channel.inputs.size());
            }
            const double limit = ReportLimit(channel.decimals, kSimMathMantissaMax);
            channel.status = std::fabs(result) > limit ? 'O' : 'N';
            channel.value = std::clamp(result, -limit, limit);
            CheckAlarm(instrument, channel, 30 + n);
            anyAlarm = anyAlarm || channel.alarm;
        }
    }

    for (int n = 0; n < kSimLoops; ++n) {
        CSimLoop& loop = setup.loops[static_cast<size_t>(n)];
        if (!loop.configured || loop.kind == kSimKindNone) {
            continue;
        }
        const double span = loop.spHigh > loop.spLow ? loop.spHigh - loop.spLow : 1.0;
        loop.remoteSpValid = false;
        if (loop.mode == kSimCas || loop.remote) {
            double remote = 0.0;
            bool found = false;
            CSimItem source;
            if (loop.remoteSource > 0 && SimFindItem(instrument, loop.remoteSource, &source)) {
                remote = source.value;
                found = true;
            } else if (loop.remoteSource == 0 && n > 0 && setup.loops[n - 1].configured) {
                const CSimLoop& master = setup.loops[static_cast<size_t>(n - 1)];
                const double outSpan =
                    master.outHigh > master.outLow ? master.outHigh - master.outLow : 1.0;
                remote = loop.spLow + span * (master.out - master.outLow) / outSpan;
                found = true;
            }
            if (found) {
                loop.remoteSp = std::clamp(remote, loop.spLow, loop.spHigh);
                loop.remoteSpValid = true;
            }
        }
        if (loop.kind == kSimRetrans) {
            // Retransmission: OUT follows PV across the output span.
            const double fraction = std::clamp((loop.pv - loop.spLow) / span, 0.0, 1.0);
            loop.out = loop.outLow + (loop.outHigh - loop.outLow) * fraction;
            continue;
        }
        const double error = (loop.EffectiveSp() - loop.pv) / span * 100.0;
        if (!loop.run) {
            loop.out = std::isnan(loop.stopOut)
                           ? loop.outLow
                           : std::clamp(loop.stopOut, loop.outLow, loop.outHigh);
            loop.lastError = error;
        } else if (loop.mode == kSimMan) {
            loop.lastError = error;  // OUT stays where "HJ" put it; no bump on return to AUT
        } else {
            loop.out = PiOutput(loop.out, error, &loop.lastError, loop.kp, loop.tiS, dt,
                                loop.outLow, loop.outHigh);
        }
        const double limit = ReportLimit(loop.pvDecimals, kSimMantissaMax);
        loop.pv = std::clamp(ProcessPv(loop.pv, loop.out, loop.outLow, loop.outHigh, loop.spLow,
                                       loop.spHigh, loop.gain, loop.timeConstantS, dt),
                             -limit, limit);
    }

    for (int n = 0; n < instrument.ExtLoopCapacity(); ++n) {
        CSimExtLoop& loop = setup.extLoops[static_cast<size_t>(n)];
        if (!loop.Operable()) {
            continue;
        }
        const size_t k = static_cast<size_t>(loop.spNumber - 1);
        const double span = loop.spHigh > loop.spLow ? loop.spHigh - loop.spLow : 1.0;
        const double error = (loop.Sp() - loop.pv) / span * 100.0;
        if (!loop.run) {
            loop.out = loop.outLow[k];
            loop.lastError = error;
        } else if (loop.mode == kSimMan) {
            loop.lastError = error;
        } else {
            loop.out = PiOutput(loop.out, error, &loop.lastError, loop.kp, loop.tiS, dt,
                                loop.outLow[k], loop.outHigh[k]);
        }
        // Each controller model answers at its own pace.
        const double tau = loop.timeConstantS > 0.0 ? loop.timeConstantS : 4.0 + loop.controller;
        const double limit = ReportLimit(loop.pvDecimals, kSimMantissaMax);
        loop.pv = std::clamp(ProcessPv(loop.pv, loop.out, loop.outLow[k], loop.outHigh[k],
                                       loop.spLow, loop.spHigh, loop.gain, tau, dt),
                             -limit, limit);
    }

    for (int p = 0; p < instrument.DioPointCount(); ++p) {
        CSimDioPoint& point = setup.dio[static_cast<size_t>(p)];
        if (!point.present) {
            continue;
        }
        if (point.HasInput()) {
            const double period = point.togglePeriodS > 0.0 ? point.togglePeriodS : 5.0 + 2.0 * p;
            point.input = static_cast<int>(std::floor(t / period)) % 2;
        }
        if (point.HasOutput() && point.mode == kSimAut) {
            point.output = anyAlarm ? 1 : 0;  // in AUT an output relays the alarm state
        }
    }

    for (int n = 0; n < instrument.PatternCapacity(); ++n) {
        CSimPattern& pattern = setup.patterns[static_cast<size_t>(n)];
        if (!pattern.exists || !pattern.running) {
            continue;
        }
        CSimLoop* loop =
            pattern.loop >= 1 && setup.loops[static_cast<size_t>(pattern.loop - 1)].configured
                ? &setup.loops[static_cast<size_t>(pattern.loop - 1)]
                : nullptr;
        if (pattern.segments.empty()) {
            pattern.segments = SimDefaultSegments(setup, pattern);
        }
        if (!pattern.startSpValid) {
            pattern.startSp = loop != nullptr ? loop->Sp() : pattern.segments.back().sp;
            pattern.startSpValid = true;
        }
        if (pattern.hold || pattern.wait) {
            continue;
        }
        pattern.elapsedS += dt;
        while (pattern.segment <= static_cast<int>(pattern.segments.size()) &&
               pattern.elapsedS >=
                   pattern.segments[static_cast<size_t>(pattern.segment - 1)].seconds) {
            pattern.elapsedS -= pattern.segments[static_cast<size_t>(pattern.segment - 1)].seconds;
            pattern.startSp = pattern.segments[static_cast<size_t>(pattern.segment - 1)].sp;
            ++pattern.segment;
        }
        if (pattern.segment > static_cast<int>(pattern.segments.size())) {
            // The last segment is over: the pattern ends by itself.
            pattern.running = false;
            pattern.segment = 1;
            pattern.elapsedS = 0.0;
            pattern.startSpValid = false;
            instrument.AppendLog(kSimLogKey, instrument.DateTimeText() + " Pattern " +
                                                 std::to_string(n + 1) + " end");
            continue;
        }
        if (loop != nullptr) {
            const CSimSegment& segment = pattern.segments[static_cast<size_t>(pattern.segment - 1)];
            const double sp = pattern.startSp +
                              (segment.sp - pattern.startSp) * pattern.elapsedS / segment.seconds;
            loop->setPoints[static_cast<size_t>(loop->spNumber - 1)] =
                std::clamp(sp, loop->spLow, loop->spHigh);
        }
    }

    if (setup.memoryRunning && timeMs_ >= nextTransferMs_) {
        nextTransferMs_ += 60000;
        char text[48];
        std::snprintf(text, sizeof text, " FTP put DATA%04lld.DAT OK",
                      static_cast<long long>(timeMs_ / 60000 % 10000));
        instrument.AppendLog(kSimLogFtpc, instrument.DateTimeText() + text);
    }
}

void CSimPlant::Sample(const CSimInstrument& instrument) {
    static constexpr int kRanges[][2] = {{1, 60}, {101, 118}, {201, 248}};
    for (const auto& range : kRanges) {
        for (int number = range[0]; number <= range[1]; ++number) {
            CSimItem item;
            const float value =
                SimFindItem(instrument, number, &item) ? static_cast<float>(item.value) : 0.0f;
            history_[static_cast<size_t>(SeriesOf(number))][static_cast<size_t>(head_)] = value;
        }
    }
    head_ = (head_ + 1) % kHistory;
    count_ = std::min(count_ + 1, kHistory);
}

std::vector<float> CSimPlant::History(int number) const {
    const int series = SeriesOf(number);
    if (series < 0) {
        return {};
    }
    std::vector<float> values;
    values.reserve(static_cast<size_t>(count_));
    const auto& ring = history_[static_cast<size_t>(series)];
    for (int i = 0; i < count_; ++i) {
        values.push_back(ring[static_cast<size_t>((head_ - count_ + i + kHistory) % kHistory)]);
    }
    return values;
}
