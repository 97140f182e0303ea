#include "framework/misc.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "framework/err.h"

namespace {
char g_format_buffer[1024];
}

float points_to_angle(float x1, float y1, float x2, float y2) {
    const float pi = 3.1415927f;
    float dx = x2 - x1, dy = y2 - y1;
    if (dx == 0.0f && dy >= 0.0f) return 0.0f;
    if (dx == 0.0f && dy < 0.0f) return pi;
    if (dy == 0.0f && dx > 0.0f) return 1.5707964f;
    if (dy == 0.0f && dx < 0.0f) return 4.712389f;
    if (dx > 0.0f && dy > 0.0f) return std::atan(dx / dy);
    if (dx > 0.0f && dy < 0.0f) return pi - std::atan(dx / -dy);
    if (dx < 0.0f && dy < 0.0f) return pi + std::atan(dx / dy);
    if (dx < 0.0f && dy > 0.0f) return -std::atan(-dx / dy);
    HV_RAISE("Unable to calculate angle.", "points_to_angle", 0, nullptr);
}

std::string format_string(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(g_format_buffer, sizeof g_format_buffer, format, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(g_format_buffer);
}

std::string to_string(int v) {
    return format_string("%d", v);
}
std::string to_string(std::int64_t v) {
    return format_string("%lld", static_cast<long long>(v));
}
std::string to_string(unsigned v) {
    return format_string("%u", v);
}
std::string to_string(bool v) {
    return v ? "true" : "false";
}
std::string to_string(char v) {
    return format_string("%c", v);
}

namespace {
// Skips the decimal digits at f[i]; false when their value is above 1023.
bool read_small_number(const std::string& f, size_t& i) {
    long value = 0;
    while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) {
        value = std::min(value * 10 + (f[i] - '0'), 100000L);
        ++i;
    }
    return value <= 1023;
}
} // namespace

bool is_single_int_format(const std::string& f) {
    int conversions = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        ++i;
        if (i < f.size() && f[i] == '%') continue;
        while (i < f.size() && std::string("-+ #0").find(f[i]) != std::string::npos)
            ++i;
        // Width and precision stay within the 1023 characters a result can hold: a width of
        // millions would keep printf padding for seconds, and one past INT_MAX makes it fail.
        if (!read_small_number(f, i)) return false;
        if (i < f.size() && f[i] == '.') {
            ++i;
            if (!read_small_number(f, i)) return false;
        }
        if (i >= f.size() || (f[i] != 'd' && f[i] != 'i')) return false;
        ++conversions;
    }
    return conversions == 1;
}
