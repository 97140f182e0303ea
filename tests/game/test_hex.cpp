// Hex geometry: neighbours on even and odd rows, the direction between neighbours, the walk's
// step rule and the distance it measures.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "game/battle/hex.h"

namespace {

constexpr hex_direction opposite(hex_direction d) {
    constexpr hex_direction o[6] = {HEX_SE, HEX_SW, HEX_E, HEX_W, HEX_NE, HEX_NW};
    return o[d];
}

// Shortest paths over the six neighbours from `from` to every cell of a cols x rows grid, by
// breadth-first search: a count that does not use the walk.
std::vector<int> path_lengths(hex_pos from, int cols, int rows) {
    std::vector<int> length(static_cast<size_t>(cols * rows), -1);
    auto at = [&](hex_pos p) -> int& { return length[static_cast<size_t>(p.row * cols + p.col)]; };
    std::deque<hex_pos> queue{from};
    at(from) = 0;
    while (!queue.empty()) {
        const hex_pos p = queue.front();
        queue.pop_front();
        for (hex_direction d : hex_directions) {
            const hex_pos n = hex_neighbour(p, d);
            if (n.col < 0 || n.col >= cols || n.row < 0 || n.row >= rows || at(n) >= 0) continue;
            at(n) = at(p) + 1;
            queue.push_back(n);
        }
    }
    return length;
}

} // namespace

TEST(Hex, NeighboursOfEvenAndOddRows) {
    // Even rows lie half a tile right of odd ones: their diagonals are at col and col + 1.
    const hex_pos even{3, 2}, odd{3, 3};
    const hex_pos from_even[6] = {{3, 1}, {4, 1}, {2, 2}, {4, 2}, {3, 3}, {4, 3}};
    const hex_pos from_odd[6] = {{2, 2}, {3, 2}, {2, 3}, {4, 3}, {2, 4}, {3, 4}};
    for (hex_direction d : hex_directions) {
        EXPECT_EQ(hex_neighbour(even, d), from_even[d]) << "direction " << d;
        EXPECT_EQ(hex_neighbour(odd, d), from_odd[d]) << "direction " << d;
    }
    // Off the map the rule is the same: row -1 is odd, so its south-east neighbour is (col, 0).
    EXPECT_EQ(hex_neighbour({-1, 2}, HEX_NE), (hex_pos{0, 1}));
    EXPECT_EQ(hex_neighbour({0, -1}, HEX_SE), (hex_pos{0, 0}));
    EXPECT_EQ(hex_neighbour({0, -2}, HEX_SE), (hex_pos{1, -1}));
}

TEST(Hex, EveryStepHasItsWayBackAndItsDirection) {
    for (hex_pos p : {hex_pos{0, 0}, hex_pos{5, 1}, hex_pos{2, 6}, hex_pos{0, -1}, hex_pos{-3, -4}})
        for (hex_direction d : hex_directions) {
            const hex_pos n = hex_neighbour(p, d);
            EXPECT_EQ(hex_neighbour(n, opposite(d)), p) << p.col << "," << p.row << " dir " << d;
            EXPECT_EQ(hex_direction_between(p, n), d) << p.col << "," << p.row << " dir " << d;
        }
    EXPECT_EQ(hex_direction_between({3, 3}, {3, 3}), -1);
    EXPECT_EQ(hex_direction_between({3, 3}, {5, 3}), -1);
    EXPECT_EQ(hex_direction_between({3, 3}, {4, 2}), -1); // north-east of an even row, not of an odd
    EXPECT_EQ(hex_direction_between({3, 3}, {3, 1}), -1);
}

TEST(Hex, TheWalkStepsTowardTheTargetsSide) {
    EXPECT_EQ(hex_step_toward(1, -1), HEX_NE);
    EXPECT_EQ(hex_step_toward(-1, -1), HEX_NW);
    EXPECT_EQ(hex_step_toward(0, -5), HEX_NW); // straight above: west first
    EXPECT_EQ(hex_step_toward(3, 2), HEX_SE);
    EXPECT_EQ(hex_step_toward(0, 2), HEX_SW);
    EXPECT_EQ(hex_step_toward(-4, 0), HEX_W);
    EXPECT_EQ(hex_step_toward(4, 0), HEX_E);
}

TEST(Hex, DistanceCornerCasesTheUnitsRelyOn) {
    EXPECT_EQ(hex_distance({4, 4}, {4, 4}), 0);
    for (hex_pos p : {hex_pos{4, 4}, hex_pos{4, 5}})
        for (hex_direction d : hex_directions)
            EXPECT_EQ(hex_distance(p, hex_neighbour(p, d)), 1) << p.row << " dir " << d;
    EXPECT_EQ(hex_distance({2, 3}, {2, 1}), 2); // straight up two rows: north-west, then north-east
    EXPECT_EQ(hex_distance({0, 3}, {0, 1}), 2); // the same on the map's left edge
    EXPECT_EQ(hex_distance({0, 0}, {7, 0}), 7); // along a row
    EXPECT_EQ(hex_distance({0, 0}, {0, 6}), 6); // zig-zag down a column
    EXPECT_EQ(hex_distance({0, 1}, {2, 6}), 5); // a straight diagonal, south-east all the way
}

TEST(Hex, DistanceIsTheShortestPathAndSymmetric) {
    constexpr int cols = 11, rows = 12;
    for (int r1 = 0; r1 < rows; ++r1)
        for (int c1 = 0; c1 < cols; ++c1) {
            const std::vector<int> lengths = path_lengths({c1, r1}, cols, rows);
            for (int r2 = 0; r2 < rows; ++r2)
                for (int c2 = 0; c2 < cols; ++c2) {
                    const int d = hex_distance({c1, r1}, {c2, r2});
                    ASSERT_EQ(d, lengths[static_cast<size_t>(r2 * cols + c2)])
                        << c1 << "," << r1 << " -> " << c2 << "," << r2;
                    ASSERT_EQ(d, hex_distance({c2, r2}, {c1, r1}))
                        << c1 << "," << r1 << " <-> " << c2 << "," << r2;
                }
        }
}
