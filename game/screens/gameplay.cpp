#include "game/battle/gameplay.h"

double scroll_x = 0.0, scroll_y = 0.0;
int scroll_ix = 0, scroll_iy = 0;
int g_mouse_x = 0, g_mouse_y = 0;
std::vector<c_effect*> g_effects;
std::vector<c_effect*> g_overlays;
c_image* g_particle_image = nullptr;

void truncate_scroll() {
    scroll_ix = static_cast<int>(scroll_x);
    scroll_iy = static_cast<int>(scroll_y);
}

void update_effects(std::vector<c_effect*>& list) {
    // Compacting in place keeps the order and the capacity: a frame full of particles costs no
    // allocation. An update may spawn into this very list (appending), hence the index loop.
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        c_effect* effect = list[i];
        if (effect->update())
            list[kept++] = effect;
        else
            effect->release();
    }
    list.resize(kept);
}

void draw_effects(const std::vector<c_effect*>& list) {
    for (c_effect* effect : list)
        effect->draw();
}

void clear_effects(std::vector<c_effect*>& list) {
    for (c_effect* effect : list)
        effect->release();
    list.clear();
}
