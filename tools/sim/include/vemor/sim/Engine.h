#pragma once
// A petrol engine on the test bench, as its ECU reports it: a cold start, a fast idle that
// settles as the coolant warms, throttle blips now and then, an O2 sensor that switches
// rich/lean once the loop closes. Deterministic: one seed, one sequence of frames.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vemor::sim {

// splitmix64: the same numbers on every platform and library, unlike std's distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; } // [0, 1)
    double Between(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int IntBetween(int lo, int hi) { // inclusive
        return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // About normal: mean 0, deviation 1.
    double Noise() { return (Uniform() + Uniform() + Uniform() + Uniform() - 2.0) * 1.7320508; }

private:
    std::uint64_t state_;
};

// Physical state after the latest frame.
struct EngineState {
    double Seconds = 0; // model time since the key was turned
    bool Cranking = true;
    double Rpm = 0; // as reported, jitter included
    double CoolantC = 0;
    double IntakeC = 0;
    double BatteryV = 0;
    double Throttle = 0; // 0 closed .. 1 wide open
    double MapKpa = 0;
    double PulseMs = 0; // injector pulse width
    double O2V = 0;     // narrow-band sensor, 0 .. 1.1 V
    double SparkDeg = 0;
    int IdleSteps = 0; // idle-air valve position
    bool ClosedLoop = false;
    bool FuelCut = false;
};

class EngineModel {
public:
    // Model time per frame: one frame without escapes at the line's rate.
    static constexpr double StepSeconds = 33.0 / 6250.0;

    explicit EngineModel(std::uint64_t seed);

    // Advances one frame and writes its 31 payload bytes.
    void NextPayload(std::uint8_t* payload);
    const EngineState& State() const { return s_; }

private:
    void Step();
    void StepThrottle();
    void Encode(std::uint8_t* payload) const;

    Random rng_;
    EngineState s_;
    std::uint32_t frame_ = 0;
    double ambientC_;
    double baroKpa_;
    double crankSeconds_;
    double caughtAt_ = -1;  // when the engine started to run on its own
    double rpm_ = 0;        // without the reported jitter
    double idleWander_ = 0; // slow idle drift
    double batteryV_ = 0;   // battery and sensor without their reading noise
    double o2V_ = 0;
    double trim_ = 0;                  // closed-loop fuel trim, fraction
    bool rich_ = false;                // what the sensor said last
    std::array<double, 57> exhaust_{}; // trims on their way to the sensor, 0.3 s
    std::size_t exhaustAt_ = 0;
    double accelEnrich_ = 0; // extra milliseconds after the throttle opens
    double prevThrottle_ = 0;
    double nextStepAt_ = 0; // idle valve moves at most every 0.1 s
    // the throttle blip under way or next
    double blipStart_ = 0;
    double blipHold_ = 0;
    double blipPeak_ = 0;
};

} // namespace vemor::sim
