// Small shared helpers: the angle between two points, printf-style formatting, and the release
// of a process-wide object.
#pragma once
#include <cstdint>
#include <string>

// Direction from point 1 to point 2, in radians from the +y axis toward the +x axis (on a
// y-down screen 0 points down and pi/2 right). Raises on not-a-number input.
float points_to_angle(float x1, float y1, float x2, float y2);

// printf into a 1024-byte buffer: results are cut at 1023 characters.
std::string format_string(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string to_string(int v);
std::string to_string(std::int64_t v);
std::string to_string(unsigned v);
std::string to_string(bool v);
std::string to_string(char v);

// True when a printf format read from data holds exactly one conversion and it takes an int
// (%d or %i, with optional flags, width and precision); "%%" is text. Data formats are checked
// with this before use, since a wrong conversion would read arguments that do not exist.
bool is_single_int_format(const std::string& format);

// Deletes the object a process-wide pointer holds and sets the pointer to null, so that nothing
// reaches the freed object through it during the rest of a shutdown or release order.
template <class T> void delete_and_clear(T*& p) {
    delete p;
    p = nullptr;
}
