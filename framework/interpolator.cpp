#include "framework/interpolator.h"

#include "framework/misc.h"

c_interpolator* c_interpolator::current_ = nullptr;
c_interpolator* g_interpolator = nullptr;

c_interpolator::c_interpolator(int now) {
    restart(now);
    if (!current_) current_ = this;
}

c_interpolator::~c_interpolator() {
    if (current_ == this) current_ = nullptr;
}

void c_interpolator::restart(int now) {
    draw_time = update_time = last_sync = now;
    prev_update_time = 0;
    drawing = false;
    frame_times.clear();
    frame_time_sum = 0;
}

bool c_interpolator::sync(int step, int now) {
    if (now <= last_sync) return false;
    int delta = now - last_sync;
    int count = static_cast<int>(frame_times.size());
    int average = count >= 5 ? (delta + frame_time_sum - frame_times.back()) / 5
                             : (delta + frame_time_sum) / (count + 1);
    if (draw_time + average > update_time) {
        prev_update_time = update_time;
        update_time += step;
        return true;
    }
    frame_times.push_front(delta);
    frame_time_sum += delta;
    last_sync = now;
    if (frame_times.size() > 5) {
        frame_time_sum -= frame_times.back();
        frame_times.pop_back();
    }
    draw_time += frame_time_sum / static_cast<int>(frame_times.size());
    if (draw_time > update_time)
        HV_RAISE("Draw time is greater than update time!!!", "c_interpolator::sync", 0, this);
    return false;
}

std::string c_interpolator::get_details() const {
    return c_reportable::get_details() + format_string("DRAW TIME: %d\nUPDATE TIME: %d\nPREVIOUS UPDATE "
                                                       "TIME: %d\nLAST SYNC: %d\nFRAME TIME SUM: %d\n",
                                                       draw_time, update_time, prev_update_time, last_sync,
                                                       frame_time_sum);
}

void normalize_angle(c_interp_float& track) {
    const float two_pi = 6.2831855f;
    bool drawing = c_interpolator::current()->drawing;
    auto angle = [&] { return drawing ? track.get() : track.value; };
    // Bounded so that a not-a-number or huge angle cannot spin here for ever.
    for (int guard = 0; angle() < 0.0f && guard < 1 << 20; ++guard) {
        track.value += two_pi;
        track.prev_value += two_pi;
    }
    for (int guard = 0; angle() >= two_pi && guard < 1 << 20; ++guard) {
        track.value -= two_pi;
        track.prev_value -= two_pi;
    }
}
