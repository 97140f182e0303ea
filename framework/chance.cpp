#include "framework/chance.h"

#include "platform/crt.h"

void c_chance::add_chance(int weight) {
    if (weight < 0) HV_RAISE("A chance weight is negative.", "c_chance::add_chance", 0, this);
    total_ += static_cast<std::uint32_t>(weight);
    thresholds_.push_back(total_);
}

int c_chance::pick(std::uint32_t r) const {
    for (size_t i = 0; i < thresholds_.size(); ++i)
        if (thresholds_[i] > r) return static_cast<int>(i);
    HV_RAISE("No chance was found.", "c_chance::roll", 0, this);
}

int c_chance::roll() const {
    if (total_ == 0) HV_RAISE("There are no chances in the chance list.", "c_chance::roll", 0, this);
    return pick(static_cast<std::uint32_t>(crt::rand()) % total_);
}
