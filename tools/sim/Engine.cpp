#include "vemor/sim/Engine.h"

#include "vemor/Assembler.h"
#include "vemor/Values.h"

#include <algorithm>
#include <cmath>

namespace vemor::sim {

namespace {

constexpr double Dt = EngineModel::StepSeconds;
constexpr double ThermostatC = 88;
constexpr double BlipRise = 0.08;
constexpr double BlipFall = 0.15;

// Moves value toward target as a first-order lag with time constant tau.
double Lag(double value, double target, double tau) {
    return value + (target - value) * (1.0 - std::exp(-Dt / tau));
}

std::uint8_t ClampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Inverse of the display's (5b - 320) / 9.
std::uint8_t TemperatureByte(double c) {
    return ClampByte((9.0 * c + 320.0) / 5.0);
}

} // namespace

EngineModel::EngineModel(std::uint64_t seed) : rng_(seed) {
    ambientC_ = rng_.Between(4, 22);
    baroKpa_ = rng_.Between(97, 102);
    crankSeconds_ = rng_.Between(0.6, 1.2);
    s_.CoolantC = ambientC_ + rng_.Between(0, 2);
    s_.IntakeC = ambientC_;
    s_.MapKpa = baroKpa_;
    o2V_ = 0.08;
    s_.O2V = o2V_;
    s_.IdleSteps = 70;
    blipStart_ = crankSeconds_ + rng_.Between(3, 6);
    blipHold_ = rng_.Between(0.2, 0.9);
    blipPeak_ = rng_.Between(0.12, 0.55);
}

void EngineModel::NextPayload(std::uint8_t* payload) {
    Step();
    Encode(payload);
    ++frame_;
}

void EngineModel::StepThrottle() {
    const double t = s_.Seconds - blipStart_;
    double open = 0;
    if (t >= 0 && t < BlipRise) {
        open = blipPeak_ * t / BlipRise;
    } else if (t >= BlipRise && t < BlipRise + blipHold_) {
        open = blipPeak_;
    } else if (t >= BlipRise + blipHold_ && t < BlipRise + blipHold_ + BlipFall) {
        open = blipPeak_ * (1.0 - (t - BlipRise - blipHold_) / BlipFall);
    } else if (t >= BlipRise + blipHold_ + BlipFall) {
        blipStart_ = s_.Seconds + rng_.Between(3, 9);
        blipHold_ = rng_.Between(0.2, 0.9);
        blipPeak_ = rng_.Between(0.12, 0.55);
    }
    prevThrottle_ = s_.Throttle;
    s_.Throttle = open;
}

void EngineModel::Step() {
    s_.Seconds += Dt;
    if (s_.Cranking) {
        // The starter turns the engine slowly and pulls the battery down.
        rpm_ = 230 + 25 * rng_.Noise();
        s_.Rpm = rpm_;
        batteryV_ = 10.3;
        s_.BatteryV = batteryV_ + 0.12 * rng_.Noise();
        s_.MapKpa = Lag(s_.MapKpa, baroKpa_ - 8, 0.3);
        s_.PulseMs = 9.5;
        s_.SparkDeg = 8;
        if (s_.Seconds >= crankSeconds_) {
            s_.Cranking = false;
            caughtAt_ = s_.Seconds;
            rpm_ = 700;
        }
        return;
    }

    const double warm = std::clamp((s_.CoolantC - ambientC_) / (ThermostatC - ambientC_), 0.0, 1.0);
    StepThrottle();

    // Speed: a fast idle while cold, a flare just after the start, the throttle on top.
    const double idle = 850 + 380 * (1 - warm);
    const double flare = 550 * std::exp(-(s_.Seconds - caughtAt_) / 0.6);
    const double target = idle + flare + s_.Throttle * 5200;
    rpm_ = Lag(rpm_, target, target > rpm_ ? 0.2 : 0.45);
    idleWander_ = Lag(idleWander_, 25 * rng_.Noise(), 0.4);
    s_.Rpm = std::max(0.0, rpm_ + idleWander_ + 6 * rng_.Noise());

    s_.FuelCut = s_.Throttle < 0.01 && rpm_ > idle + 350;
    double mapTarget = 30 + 6 * (1 - warm) + 70 * std::min(1.0, s_.Throttle * 2.2);
    if (s_.FuelCut) {
        mapTarget = 21;
    }
    s_.MapKpa = Lag(s_.MapKpa, std::min(mapTarget, baroKpa_), 0.06) + 0.4 * rng_.Noise();

    const double opening = s_.Throttle - prevThrottle_;
    accelEnrich_ = Lag(accelEnrich_, 0, 0.3) + (opening > 0 ? opening * 12 : 0);

    // The loop closes once the heated sensor works and the coolant has begun to warm.
    // The loop closes once the heated sensor works and the coolant has begun to warm.
    const double sinceStart = s_.Seconds - caughtAt_;
    s_.ClosedLoop = sinceStart > 10 && s_.CoolantC > ambientC_ + 4;
    if (!s_.ClosedLoop) {
        // The sensor heats up and reads the rich open-loop mixture.
        trim_ = Lag(trim_, 0, 1.0);
        o2V_ = Lag(o2V_, 0.08 + 0.7 * std::min(1.0, sinceStart / 10), 0.3);
    } else {
        // The ECU ramps the mixture against the sensor and steps back on each switch; the
        // exhaust reaches the sensor late, so the loop swings about once a second.
        const double seen = exhaust_[exhaustAt_];
        exhaust_[exhaustAt_] = trim_;
        exhaustAt_ = (exhaustAt_ + 1) % exhaust_.size();
        double sensor = seen > 0 ? 0.82 : 0.12;
        if (s_.FuelCut) {
            sensor = 0.04;
        } else if (accelEnrich_ > 0.3) {
            sensor = 0.88;
        }
        o2V_ = Lag(o2V_, sensor, 0.08);
        const bool rich = o2V_ > 0.45;
        if (rich != rich_) {
            trim_ += rich ? -0.015 : 0.015;
            rich_ = rich;
        } else {
            trim_ += (rich ? -0.06 : 0.06) * Dt;
        }
        trim_ = std::clamp(trim_, -0.25, 0.25);
    }
    s_.O2V = std::clamp(o2V_ + 0.006 * rng_.Noise(), 0.0, 1.1);

    const double base = s_.MapKpa / 100.0 * 7.2 * (1 + 0.45 * (1 - warm)) * (1 + trim_);
    s_.PulseMs = s_.FuelCut ? 0 : std::clamp(base + 0.8 + accelEnrich_, 0.0, 25.5);

    // Coolant climbs toward the thermostat, faster at higher speed, then hovers there.
    if (s_.CoolantC < ThermostatC) {
        s_.CoolantC += Dt * (0.35 + 0.0002 * rpm_);
    } else {
        s_.CoolantC = Lag(s_.CoolantC, ThermostatC + 2 + 2 * std::sin(s_.Seconds / 40), 8);
    }
    s_.IntakeC = Lag(s_.IntakeC, ambientC_ + 5 + 18 * warm - 10 * s_.Throttle, 15);

    batteryV_ = Lag(batteryV_, 14.35 - 0.25 * warm, 0.4);
    s_.BatteryV = batteryV_ + 0.02 * rng_.Noise();

    s_.SparkDeg =
        std::clamp(12 + 22 * (rpm_ - idle) / 3000 - 10 * (s_.MapKpa - 30) / 70 + 0.5 * rng_.Noise(),
                   4.0, 40.0);

    // The idle valve steps toward a warm-dependent position and trims the idle speed.
    if (s_.Seconds >= nextStepAt_) {
        nextStepAt_ = s_.Seconds + 0.1;
        int wanted = static_cast<int>(std::lround(28 + 42 * (1 - warm)));
        if (s_.Throttle < 0.01 && !s_.FuelCut) {
            wanted += s_.Rpm < idle - 20 ? 2 : (s_.Rpm > idle + 20 ? -2 : 0);
        }
        if (wanted > s_.IdleSteps) {
            ++s_.IdleSteps;
        } else if (wanted < s_.IdleSteps) {
            --s_.IdleSteps;
        }
    }
}

void EngineModel::Encode(std::uint8_t* p) const {
    std::fill(p, p + PayloadLength, std::uint8_t{0});
    // Status bits: running, closed loop, warm, fuel cut, acceleration enrichment, cranking.
    p[0] = static_cast<std::uint8_t>((s_.Cranking ? 0x80 : 0x01) | (s_.ClosedLoop ? 0x02 : 0) |
                                     (s_.CoolantC >= 70 ? 0x04 : 0) | (s_.FuelCut ? 0x08 : 0) |
                                     (accelEnrich_ > 0.3 ? 0x10 : 0));
    p[2] = ClampByte(baroKpa_ * 2.4);
    p[byte_pos::Map] = ClampByte(s_.MapKpa * 2.4);
    p[byte_pos::Coolant] = TemperatureByte(s_.CoolantC);
    p[byte_pos::Intake] = TemperatureByte(s_.IntakeC);
    p[byte_pos::Battery] = ClampByte(s_.BatteryV / 0.0625);
    p[byte_pos::O2] = ClampByte(s_.O2V * 255 / 1.1);
    p[8] = ClampByte(s_.SparkDeg * 2);
    // A period: cranking speeds saturate at 0xFF, as the real byte does below 306 rpm.
    p[byte_pos::Rpm] = s_.Rpm < 1 ? 0 : ClampByte(std::max(1.0, 78120 / s_.Rpm));
    p[byte_pos::Tps] = ClampByte(23 + s_.Throttle * 207);
    p[byte_pos::Byte14] = ClampByte(s_.IdleSteps);
    p[15] = ClampByte(128 + trim_ * 256);
    p[16] = 128;
    p[byte_pos::PulseWidth] = ClampByte(s_.PulseMs * 10);
    p[30] = static_cast<std::uint8_t>(frame_ & 0xFF); // rolling counter
}

} // namespace vemor::sim
