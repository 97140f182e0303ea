// The battle record reader under arbitrary bytes, and the battle built from what it accepts.
// Every input must parse without a fault; a record it accepts must read back the same after it
// is written out again, and must build its battle (the real one, from DATA, on the recording
// device) or say why not, never raise, hang or crash, whatever its orders ask for.
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/explosion.h"
#include "game/gameplay.h"
#include "game/record/battle_record.h"
#include "game/record/saves.h"
#include "platform/crt.h"
#include "tests/fakes/recording_device.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

// Battles are built from DATA: the INI files, the pictures, a particle pool.
void set_up_world() {
    auto* dev = new recording_device();
    dev->keep_log = false;
    g_gfx = new c_gfx(dev, 2.0e-5f);
    new c_interpolator(1000);
    std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
    g_rules = new c_ini("rules.ini");
    g_stringtable = new c_ini("stringtable.ini");
    g_interface = new c_ini("interface.ini");
    g_particle_pool = new c_particle_pool(1000);
}

// Orders past this many are not played: a long record is no different, only slower.
constexpr size_t max_played_events = 200;

// The map size a seed makes (the battle's first two draws): a record whose header says
// otherwise is refused right after its battle is built, which the unit tests cover; the fuzzer
// spends its time on records whose orders get played.
bool seed_makes_map(std::uint32_t seed, int cols, int rows) {
    crt::srand(seed);
    const int c = 10 + crt::rand() % 23;
    const int r = 10 + crt::rand() % 23;
    return c == cols && r == rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (set_up_world(), true);
    (void)ready;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const record_read read = parse_record(bytes);
    FUZZ_CHECK(read.status == RECORD_OK || !read.reason.empty(), "a refused record without a reason");
    const record_entry entry = summarize_record(read, 0);
    (void)describe_entry(entry, entry_labels{});
    if (read.status != RECORD_OK) return 0;
    const record_file& r = read.record;
    FUZZ_CHECK(r.whole_size <= size, "the whole part is larger than the file");

    // Written out again, it reads back the same.
    std::string again = format_header(r.header);
    for (const record_event& e : r.events)
        again += format_event(e);
    const record_read back = parse_record(again);
    FUZZ_CHECK(back.status == RECORD_OK, "a record written out again does not read: " + back.reason);
    FUZZ_CHECK(back.record.events.size() == r.events.size(), "events lost on the way out and back");
    for (size_t i = 0; i < r.events.size(); ++i) {
        const record_event &a = r.events[i], &b = back.record.events[i];
        FUZZ_CHECK(a.what == b.what && a.step == b.step && a.order == b.order && a.player == b.player &&
                       (a.what != EVENT_TURN || a.alive == b.alive),
                   "an event changed on the way out and back");
    }

    if (r.events.size() > max_played_events || !seed_makes_map(r.header.seed, r.header.cols, r.header.rows))
        return 0;
    c_record_player player(r);
    const bool played = player.run_all(SIZE_MAX, true);
    FUZZ_CHECK(played || !player.reason().empty(), "a record refused without a reason");
    (void)battle_state_hash();
    gameplay_unload_static();
    return 0;
}
