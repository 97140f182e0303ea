// The battle screen's globals that the world reads: where the view looks, where the mouse is,
// the particle picture and the two effect lists. The battle screen owns and writes them; the
// map, the units and the effects only read the view and the mouse, and spawn into the lists.
#pragma once
#include <vector>

#include "framework/err.h"

class c_image;

// ---- the view
// The view origin in map pixels (the map point shown at the top-left of the client area). The
// scrolling keeps the exact position in scroll_x / scroll_y and truncates it once per frame into
// scroll_ix / scroll_iy (truncate_scroll); all drawing and hit testing read the int copies, so
// every picture of a frame agrees on one whole-pixel offset.
extern double scroll_x, scroll_y;
extern int scroll_ix, scroll_iy;
// Copies the view origin into the int copies, truncating toward zero. Call once per frame after
// the view has moved, before anything is drawn or picked.
void truncate_scroll();

// The mouse in client pixels as read at the start of the frame.
extern int g_mouse_x, g_mouse_y;

// ---- effects
// A short-lived picture of the battle (a particle, a floating text). Lists of effects own their
// elements: an element leaves its list through release().
class c_effect : public c_reportable {
  public:
    // Queues the effect's pictures; called once per frame while the interpolator is drawing.
    virtual void draw() = 0;
    // One fixed update step; answers false when the effect is over.
    virtual bool update() = 0;
    // Gives the effect up once it has left its list. By default it is deleted; pooled effects
    // go back to their pool.
    virtual void release() { delete this; }
};

// Drawn over the map, g_effects first. Both are emptied when a battle ends (clear_effects).
extern std::vector<c_effect*> g_effects;
extern std::vector<c_effect*> g_overlays;

// One update step of every element, in list order; those that answer false are removed and
// released. The order of the survivors is kept and nothing is allocated.
void update_effects(std::vector<c_effect*>& list);
void draw_effects(const std::vector<c_effect*>& list);
// Releases every element and empties the list (its capacity is kept for the next battle).
void clear_effects(std::vector<c_effect*>& list);

// The picture every explosion particle shows; made by the battle set-up, null outside a battle.
extern c_image* g_particle_image;
