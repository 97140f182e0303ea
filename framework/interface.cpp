#include "framework/interface.h"

#include "framework/core.h"
#include "framework/font.h"
#include "framework/interpolator.h"

void recover_device() {
    if (g_font) g_font->before_reset();
    g_core->reset();
    if (g_font) g_font->after_reset();
    g_interpolator->restart(static_cast<int>(g_core->get_cur_time()));
}
