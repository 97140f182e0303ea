// Rectangles compared and printed in test expectations. The program itself compares them with
// EqualRect, as Windows gives RECT no operators.
#pragma once
#include <ostream>

#include "platform/win32.h"

inline bool operator==(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

inline void PrintTo(const RECT& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
