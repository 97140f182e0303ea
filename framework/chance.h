// A weighted list of outcomes; every random outcome of a battle is a roll of one of these.
#pragma once
#include <cstdint>
#include <vector>

#include "framework/err.h"

class c_chance : public c_reportable {
  public:
    // Appends an outcome whose index is the number of outcomes added before it. Weights come
    // from data; a negative one raises, since it would make every roll of the list meaningless.
    void add_chance(int weight);
    // An index chosen with probability weight / total. Raises on an empty (total 0) list.
    int roll() const;
    // Which index a random number r (0 <= r < total) picks.
    int pick(std::uint32_t r) const;

    std::uint32_t get_total() const { return total_; }
    const std::vector<std::uint32_t>& get_thresholds() const { return thresholds_; }

  private:
    std::vector<std::uint32_t> thresholds_;
    std::uint32_t total_ = 0;
};
