// The motion the battle's drifting effects share (explosion particles, floating result texts).
// Each update step every channel's value grows by its velocity; then each velocity becomes
// (velocity + acceleration) x friction, so an effect can speed up, slow down or fade ever faster.
#pragma once
#include <array>
#include <cstddef>

#include "framework/interpolator.h"

// The tracks one channel moves: x moves a rectangle's left and right edges, y its top and bottom;
// any other channel (a rotation, an alpha) moves a single track and leaves the second null.
using motion_tracks = std::array<c_interp_float*, 2>;

// One update step of an effect's motion. Answers false when the effect is over: once `lifetime`
// has run out (then nothing moves), or once the alpha has fallen to 0 (then the velocities are
// left as they were). Call in update steps only; the tracks are interpolated.
template <std::size_t N>
bool drift_step(int& lifetime, const std::array<motion_tracks, N>& tracks, const c_interp_float& alpha,
                std::array<float, N>& velocity, const std::array<float, N>& acceleration,
                const std::array<float, N>& friction) {
    if (--lifetime < 0) return false;
    for (std::size_t i = 0; i < N; ++i)
        for (c_interp_float* track : tracks[i])
            if (track) track->set(track->value + velocity[i]);
    if (alpha.value <= 0.0f) return false;
    for (std::size_t i = 0; i < N; ++i)
        velocity[i] = (velocity[i] + acceleration[i]) * friction[i];
    return true;
}
