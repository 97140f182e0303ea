#include "tests/data/data_check_font.h"

#include "framework/font.h"
#include "framework/gfx.h"
#include "game/startup.h"
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"

std::string game_font_refusal(const c_ini& interface) {
    recording_device device;
    c_gfx gfx(&device, 2.0e-5f);
    HFONT handle = nullptr;
    try {
        handle = create_game_font(interface);
        c_font font(&gfx, handle); // owns the handle from here on
        handle = nullptr;
    } catch (const c_err& e) {
        if (handle) DeleteObject(handle);
        return e.details;
    }
    return "";
}
