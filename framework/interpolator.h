// Fixed-step updates with interpolated drawing. Logic runs in update steps of a fixed number
// of milliseconds; drawing reads moving values between their last two updates, at a shown
// time that is smoothed over the last five frames.
#pragma once
#include <array>
#include <deque>

#include "framework/err.h"

class c_interpolator : public c_reportable {
  public:
    // The first interpolator made becomes the current one that every track uses.
    explicit c_interpolator(int now);
    ~c_interpolator() override;

    // Forgets the schedule: time spent elsewhere is not caught up in update steps.
    void restart(int now);
    // True: run one update step of `step` ms now and ask again. False: the frame is recorded.
    bool sync(int step, int now);

    std::string get_details() const override;

    static c_interpolator* current() { return current_; }

    int draw_time = 0;
    int update_time = 0;
    int prev_update_time = 0;
    bool drawing = false;
    std::deque<int> frame_times; // newest first, at most 5
    int last_sync = 0;
    int frame_time_sum = 0;

  private:
    static c_interpolator* current_;
};

extern c_interpolator* g_interpolator;

// One value set in update steps and read interpolated while drawing.
template <typename T> struct c_interp {
    T value = 0;
    T prev_value = 0;
    int stamp = 0;
    int prev_stamp = 0;

    void set(T v) {
        const c_interpolator* ip = c_interpolator::current();
        if (stamp != ip->update_time && stamp != 0) {
            prev_value = value;
            prev_stamp = ip->prev_update_time;
        }
        value = v;
        stamp = ip->update_time;
    }
    // The value at the shown time when it was set in the latest step and once before.
    T get() const {
        const c_interpolator* ip = c_interpolator::current();
        if (prev_stamp == ip->prev_update_time && stamp == ip->update_time && stamp != prev_stamp) {
            float t = static_cast<float>(ip->draw_time - prev_stamp) / static_cast<float>(stamp - prev_stamp);
            return prev_value + static_cast<T>((value - prev_value) * t);
        }
        return value;
    }
    void init() {
        value = prev_value = 0;
        stamp = prev_stamp = 0;
        set(0);
    }
};

using c_interp_int = c_interp<int>;
using c_interp_float = c_interp<float>;

// Keeps an angle track in [0, 2pi) by shifting both of its values by whole turns.
void normalize_angle(c_interp_float& track);

// Composite tracks: read interpolated only while drawing, the current values otherwise.
template <typename T, size_t N> struct c_interp_multi {
    std::array<c_interp<T>, N> tracks;
    void set(const std::array<T, N>& v) {
        for (size_t i = 0; i < N; ++i)
            tracks[i].set(v[i]);
    }
    std::array<T, N> get() const {
        std::array<T, N> out;
        bool drawing = c_interpolator::current()->drawing;
        for (size_t i = 0; i < N; ++i)
            out[i] = drawing ? tracks[i].get() : tracks[i].value;
        return out;
    }
    void init() {
        for (auto& t : tracks)
            t.init();
    }
};

using c_interp_float2 = c_interp_multi<float, 2>;
using c_interp_int4 = c_interp_multi<int, 4>;
