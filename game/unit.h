// Units standing on the map's tiles. This is the seam between the map and the units: the map
// only ever asks a unit to draw itself, to draw its minimap mark and, while a shot is in the
// air, to draw its projectile. The units themselves (owner, hit points, movement, combat) are
// built on top of this class.
#pragma once
#include "framework/err.h"

class c_unit : public c_reportable {
  public:
    // Queues the unit's pictures at its drawn rectangle shifted by the view origin. Called by
    // the map for the tile the unit stands on, before the tile itself.
    virtual void draw() = 0;
    // Draws the unit's mark into the minimap's render target in map pixels. Called by the map's
    // minimap drawing for the tile the unit stands on, before the tile.
    virtual void draw_minimap() = 0;
    // Queues the projectile in flight; called by the map after all tiles while this unit is the
    // map's active unit.
    virtual void draw_projectile() = 0;
};
