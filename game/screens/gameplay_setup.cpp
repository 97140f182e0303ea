// Setting a battle up and releasing it: the battle's static data, the minimap surfaces, the world
// objects, and the random new battle of three built-in players.
//
// Index: 1. battle globals; 2. minimap surfaces; 3. gameplay_load_static; 4. gameplay_new_game;
// 5. gameplay_unload_static.
#include <string>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/record/battle_record.h"
#include "game/screens/minimap.h"
#include "platform/crt.h"

// ---- 1. battle globals

BYTE g_kb_state[256] = {};
BYTE g_kb_previous[256] = {};
int g_cursor_choice = 0;
c_tile* g_hovered_tile = nullptr;
std::list<RECT> g_minimap_dirty;
IDirect3DTexture9* g_minimap_texture = nullptr;
IDirect3DSurface9* g_minimap_depth = nullptr;
int g_hscroll_speed = 0, g_vscroll_speed = 0;

namespace {

struct builtin_player {
    const char* name;
    D3DCOLOR color;
};
// Every new battle is fought by these three, in this turn order.
constexpr builtin_player builtin_players[3] = {
    {"Brindlecap", 0xFFFF0000},
    {"Thistlewick", 0xFF7F7FFF},
    {"Wobbleforth", 0xFFFFFF00},
};

} // namespace

std::string builtin_player_name(int index) {
    return index >= 0 && index < 3 ? builtin_players[index].name : "";
}

// ---- 2. minimap surfaces

void create_minimap_surfaces(IDirect3DDevice9* device, const char* function) {
    // Default-pool surfaces must be given up around every device reset, on whatever screen.
    install_minimap_device_hooks();
    HRESULT hr = device->CreateTexture(minimap_size, minimap_size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                       D3DPOOL_DEFAULT, &g_minimap_texture, nullptr);
    if (FAILED(hr)) {
        g_minimap_texture = nullptr;
        HV_RAISE("Unable to create the minimap texture.", function, hr, nullptr);
    }
    hr = device->CreateDepthStencilSurface(minimap_size, minimap_size, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0,
                                           FALSE, &g_minimap_depth, nullptr);
    if (FAILED(hr)) {
        g_minimap_depth = nullptr;
        release_minimap_surfaces();
        HV_RAISE("Umable to create minimap depth buffer.", function, hr, nullptr);
    }
}

void release_minimap_surfaces() {
    if (g_minimap_depth) g_minimap_depth->Release();
    if (g_minimap_texture) g_minimap_texture->Release();
    g_minimap_depth = nullptr;
    g_minimap_texture = nullptr;
}

// ---- 3. gameplay_load_static

namespace {

void read_scroll_speeds() {
    const int scroll_speed = g_settings ? g_settings->get_int("misc", "scroll_speed") : 0;
    g_hscroll_speed = static_cast<int>(g_rules->get_float("misc", "hscroll_ratio") * scroll_speed);
    g_vscroll_speed = static_cast<int>(g_rules->get_float("misc", "vscroll_ratio") * scroll_speed);
}

void load_particle_image() {
    const std::string file = g_rules->get_raw("misc", "particle_image");
    IDirect3DTexture9* texture = g_gfx->create_texture(file);
    try {
        g_particle_image = g_gfx->get_image(texture, 0.0f);
    } catch (...) {
        texture->Release();
        throw;
    }
    // The image holds its own reference.
    texture->Release();
}

} // namespace

std::string ready_units_label(int count) {
    const std::string format = g_stringtable ? g_stringtable->get_string("gameplay", "aub") : "";
    if (format.empty()) return "";
    // The entry is a printf format from a file a player may edit: anything but the one integer
    // it is given would read arguments that do not exist.
    if (!is_single_int_format(format))
        HV_RAISE(
            "Unable to show the ready units: the label \"aub\" of [gameplay] in stringtable.ini must hold "
            "exactly one integer conversion such as %d.",
            "ready_units_label", 0, nullptr);
    return format_string(format.c_str(), count);
}

void gameplay_load_static() {
    if (g_stringtable) g_stringtable->set_section("gameplay");
    ready_units_label(0);
    create_minimap_surfaces(g_gfx->get_device(), "gameplay_load_static");
    read_scroll_speeds();
    g_playermanager = new c_playermanager();
    g_unitmanager = new c_unitmanager();
    clear_effects(g_effects);
    clear_effects(g_overlays);
    load_particle_image();
    read_unit_settings();
}

// ---- 4. gameplay_new_game

namespace {

// One draw per tile whatever happens to it, so that one seed gives one battle.
void place_units() {
    const int num_types = g_unitmanager->get_num_unittypes();
    const int num_players = g_playermanager->get_num_players();
    for (int row = 0; row < g_map->get_rows(); ++row) {
        for (int col = 0; col < g_map->get_cols(); ++col) {
            c_tile* tile = g_map->get_tile(col, row);
            if (crt::rand() % 4 != 0 || !tile->type->moveable || tile->corner) continue;
            c_player* owner = g_playermanager->get_player_index(crt::rand() % num_players);
            c_unittype* type = g_unitmanager->get_unittype(crt::rand() % num_types);
            c_unit* unit = type->create_unit(tile, owner);
            g_unitmanager->add_unit(unit);
            owner->add_unit(unit);
        }
    }
}

} // namespace

void gameplay_new_game() {
    // A battle without unit types could only ever be an empty map; say what is wrong instead.
    if (g_unitmanager->get_num_unittypes() < 1)
        HV_RAISE("Unable to start a battle: rules.ini defines no unit types.", "gameplay_new_game", 0,
                 nullptr);
    const int cols = 10 + crt::rand() % 23;
    const int rows = 10 + crt::rand() % 23;
    g_map = new c_map(cols, rows, true);
    for (const builtin_player& p : builtin_players)
        g_playermanager->add_player(new c_humanplayer(p.color, p.name, 0));
    place_units();
    // With no unit on the map (no enterable tile, or bad luck) no turn starts: the current
    // player stays none and the battle screen gives no orders.
    g_playermanager->next_player();
}

// ---- 5. gameplay_unload_static

void gameplay_unload_static() {
    // The battle is left: its record is synced and closed before anything of it goes.
    record_close();
    if (g_particle_image) g_particle_image->release();
    g_particle_image = nullptr;
    clear_effects(g_overlays);
    clear_effects(g_effects);
    // Units leave their players and tiles as they go: players and map must still exist.
    delete_and_clear(g_unitmanager);
    delete_and_clear(g_playermanager);
    g_minimap_dirty.clear();
    release_minimap_surfaces();
    delete_and_clear(g_map);
    g_hovered_tile = nullptr;
    if (g_cursors && g_cursors->get_count() > 0) g_cursors->set_cursor(CURSOR_ARROW);
}
