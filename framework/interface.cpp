#include "framework/interface.h"

#include "framework/core.h"
#include "framework/device_hooks.h"
#include "framework/font.h"
#include "framework/interpolator.h"

void recover_device() {
    if (g_font) g_font->before_reset();
    run_device_release_hooks();
    g_core->reset();
    run_device_restore_hooks();
    if (g_font) g_font->after_reset();
    g_interpolator->restart(static_cast<int>(g_core->get_cur_time()));
}
