#pragma once

#include "bank/BankRecords.h"

#include <cstdint>

namespace korvelt {

class ModulationEnvelope;
class Lfo;

// A two-pole resonant low-pass: y[n] = a x[n] + 2k cos(omega) y[n-1] - k^2 y[n-2], poles at
// radius k and angle omega, gain 1 at 0 Hz. Its cutoff comes from generator 8 lowered by
// low velocities, its resonance from generator 9; the modulation LFO and envelope can
// raise the cutoff once per control tick. It switches itself off when the cutoff would be
// at or above the top of the range.
class LowPassFilter {
public:
    LowPassFilter(const ModulationEnvelope& modulationEnvelope, const Lfo& modulationLfo) noexcept
        : modulationEnvelope_(modulationEnvelope), modulationLfo_(modulationLfo) {}

    // Generators 8-11.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    // Per note.
    void start(int velocity) noexcept;
    // Once per control tick while on.
    void updateCutoff() noexcept;

    bool isOn() const noexcept { return cutoff_ > 0.0f; }

    // The per-frame state and coefficients, for running a block in a local copy (kept in
    // registers) and handing the state back with keep().
    struct Kernel {
        double y, v, a, k2;
        double operator()(double x) noexcept {
            v = v + a * (x - y);
            y = y + v;
            v = k2 * v;
            return y;
        }
    };
    Kernel kernel() const noexcept { return Kernel{y_, v_, a_, k2_}; }
    void keep(const Kernel& kernel) noexcept {
        y_ = kernel.y;
        v_ = kernel.v;
    }

    double process(double x) noexcept {
        Kernel k = kernel();
        const double y = k(x);
        keep(k);
        return y;
    }

    // Cutoff in Hz; 0 while the filter is off.
    float cutoff() const noexcept { return cutoff_; }
    float lastCutoff() const noexcept { return lastCutoff_; }
    float resonanceFactor() const noexcept { return resonanceFactor_; }
    float modLfoSwing() const noexcept { return modLfoSwing_; }
    float modEnvSwing() const noexcept { return modEnvSwing_; }
    double k() const noexcept { return k_; }
    double k2() const noexcept { return k2_; }
    double a() const noexcept { return a_; }
    double omega() const noexcept { return omega_; }

private:
    void computeCoefficients(double frequency) noexcept;

    // Per-frame state first.
    double y_ = 0.0; // output
    double v_ = 0.0; // its velocity
    double a_ = 0.0;
    double k2_ = 0.0;
    float cutoff_ = 0.0f;
    const ModulationEnvelope& modulationEnvelope_;
    const Lfo& modulationLfo_;
    std::int32_t initialCutoff_ = 13500; // absolute cents
    std::int32_t resonance_ = 0;         // centibels
    float lastCutoff_ = 0.0f;
    float resonanceFactor_ = 1.0f;
    std::int32_t modLfoToCutoff_ = 0; // cents
    std::int32_t modEnvToCutoff_ = 0;
    float modLfoSwing_ = 0.0f; // Hz per unit of modulator
    float modEnvSwing_ = 0.0f;
    double omega_ = 0.0;
    double k_ = 0.0;
};

} // namespace korvelt
