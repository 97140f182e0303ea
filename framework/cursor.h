// The mouse pointer, drawn by the game as a textured quad at the mouse position (the system
// cursor is hidden over the window). One set of pictures, one of them current.
#pragma once
#include <string>
#include <vector>

#include "framework/gfx.h"

struct cursor_record {
    IDirect3DTexture9* texture; // null: an untextured white quad
    int hot_x, hot_y;           // the pointing spot, in pixels from the picture's top-left
    int width, height;          // on screen
};

class c_cursor : public c_reportable {
  public:
    explicit c_cursor(c_gfx* gfx);
    // Releases the cursors' textures.
    ~c_cursor() override;
    c_cursor(const c_cursor&) = delete;
    c_cursor& operator=(const c_cursor&) = delete;

    // Appends a cursor and returns its index. A file name of "" gives a cursor without texture;
    // otherwise the picture is loaded scaled to width x height, opaque magenta transparent.
    int add_cursor(const std::string& file_name, int hot_x, int hot_y, int width, int height);
    // Makes a cursor current; raises "Cursor identifier out of range." for an unknown index.
    void set_cursor(int index);
    // Draws the current cursor at (x, y), depth 0, in front of everything. Nothing before the
    // first set_cursor.
    void draw();

    int get_current() const { return current_; }
    int get_count() const { return static_cast<int>(cursors_.size()); }
    const cursor_record& get_record(int index) const { return cursors_.at(static_cast<size_t>(index)); }

    // Mouse position in client pixels, written by the state loops every frame before drawing.
    int x = 0, y = 0;

  private:
    c_gfx* gfx_;
    std::vector<cursor_record> cursors_;
    int current_ = -1;
};

extern c_cursor* g_cursors;
