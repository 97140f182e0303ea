// Players on a 32 x 32 map of open ground, with stand-in units that record what they are asked
// to do and answer classify with whatever the test sets.
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/game/battle_fixture.h"

class stand_in : public c_unit {
  public:
    stand_in(c_player* owner_, c_tile* tile_, int movement_per_turn) : movement_(movement_per_turn) {
        owner = owner_;
        tile = tile_;
        col = tile_->col;
        row = tile_->row;
        tile_->unit = this;
        owner_->add_unit(this);
    }
    ~stand_in() override {
        if (owner) owner->remove_unit(this);
        if (tile && tile->unit == this) tile->unit = nullptr;
    }

    void draw() override {}
    void update() override {}
    void draw_minimap() override {}
    void draw_projectile() override {}
    int classify(const c_tile*) const override { return answer; }
    void act(c_tile* t, int x, int y) override {
        log.push_back("act " + where(t) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    bool can_act() const override { return state == 0 && moves_left > 0; }
    void select() override {
        owner->set_selected(this);
        log.push_back("select");
    }
    void deselect() override {
        owner->set_selected(nullptr);
        log.push_back("deselect");
    }
    void die() override {
        log.push_back("die");
        dying = true;
    }
    void show_moves() override { log.push_back("show_moves"); }
    void aim(c_tile* t, int x, int y) override {
        log.push_back("aim " + where(t) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    // Real units always answer true; a stand-in without moves answers false, so that the
    // players' handling of both answers is tested.
    bool start_turn() override {
        moves_left = movement_;
        return moves_left > 0;
    }
    void end_turn() override { moves_left = 0; }
    RECT get_rect() const override { return RECT{tile->left, tile->top, tile->right, tile->bottom}; }

    int count(const std::string& what) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(),
                                              [&](const std::string& s) { return s.rfind(what, 0) == 0; }));
    }
    static std::string where(const c_tile* t) {
        return t ? std::to_string(t->col) + "," + std::to_string(t->row) : "none";
    }

    int answer = CLASS_NOTHING;
    std::vector<std::string> log;

  private:
    int movement_;
};

inline std::string units_rules() {
    return "[units]\nunit_name_format=unit_%d\nnum_unittypes=0\nflag_image=white.bmp\nselected_image=white."
           "bmp\n";
}

class player_test : public battle_test {
  protected:
    player_test() { make_map(32, 32, false, units_rules()); }
    ~player_test() override {
        // Units leave their players as they go: before the players themselves.
        units_.clear();
        delete g_unitmanager;
        g_unitmanager = nullptr;
        manager_.reset();
        g_playermanager = nullptr;
    }
    c_playermanager& manager() {
        if (!manager_) {
            cwd_guard cwd(dir.path());
            manager_ = std::make_unique<c_playermanager>(&gfx, &font());
            g_playermanager = manager_.get();
        }
        return *manager_;
    }
    c_humanplayer* add(const std::string& name, D3DCOLOR color, int team = 0) {
        auto* p = new c_humanplayer(color, name, team);
        manager().add_player(p);
        return p;
    }
    stand_in* unit(c_player* owner, int col, int row, int movement = 1) {
        units_.push_back(std::make_unique<stand_in>(owner, g_map->get_tile(col, row), movement));
        return units_.back().get();
    }
    void remove(stand_in* u) {
        std::erase_if(units_, [&](const std::unique_ptr<stand_in>& p) { return p.get() == u; });
    }
    // An empty unit manager, for the busy list.
    c_unitmanager& unit_manager() {
        if (!g_unitmanager) g_unitmanager = new c_unitmanager();
        return *g_unitmanager;
    }

    std::unique_ptr<c_playermanager> manager_;
    std::vector<std::unique_ptr<stand_in>> units_;
};
