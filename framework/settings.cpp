// The display settings record: the depth table and the [screen] section of settings.ini.
#include "framework/core.h"
#include "framework/ini.h"

D3DFORMAT depth_to_format(int depth) {
    switch (depth) {
    case 8:
        return D3DFMT_R3G3B2;
    case 15:
        return D3DFMT_X1R5G5B5;
    case 16:
        return D3DFMT_R5G6B5;
    case 24:
        return D3DFMT_R8G8B8;
    case 32:
        return D3DFMT_X8R8G8B8;
    case 33:
        return D3DFMT_A2R10G10B10;
    case 64:
        return D3DFMT_A16B16G16R16;
    default:
        return D3DFMT_UNKNOWN;
    }
}

int format_to_depth(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R3G3B2:
        return 8;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 15;
    case D3DFMT_R5G6B5:
        return 16;
    case D3DFMT_R8G8B8:
        return 24;
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8:
        return 32;
    case D3DFMT_A2R10G10B10:
        return 33;
    case D3DFMT_A16B16G16R16:
        return 64;
    default:
        return 0;
    }
}

settings_record read_screen_settings(c_ini& ini) {
    ini.set_section("screen");
    settings_record s{};
    s.is_windowed = ini.get_bool("is_windowed") ? TRUE : FALSE;
    s.window_rect.left = ini.get_int("left");
    s.window_rect.right = ini.get_int("right");
    s.window_rect.top = ini.get_int("top");
    s.window_rect.bottom = ini.get_int("bottom");
    s.mode.Width = static_cast<UINT>(ini.get_int("width"));
    s.mode.Height = static_cast<UINT>(ini.get_int("height"));
    s.mode.Format = depth_to_format(ini.get_int("depth"));
    s.mode.RefreshRate = static_cast<UINT>(ini.get_int("refresh_rate"));
    s.adapter = static_cast<UINT>(ini.get_int("adapter"));
    s.present_interval =
        ini.get_bool("present_immediate") ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_DEFAULT;
    return s;
}

void write_screen_settings(c_ini& ini, const settings_record& s) {
    ini.set_section("screen");
    // Written as a number like the other window values; the boolean reader takes "1" and "0" as
    // well as the words, so files written either way read back the same.
    ini.write_int("is_windowed", s.is_windowed ? 1 : 0);
    ini.write_int("left", s.window_rect.left);
    ini.write_int("right", s.window_rect.right);
    ini.write_int("top", s.window_rect.top);
    ini.write_int("bottom", s.window_rect.bottom);
    ini.write_int("width", static_cast<int>(s.mode.Width));
    ini.write_int("height", static_cast<int>(s.mode.Height));
    ini.write_int("depth", format_to_depth(s.mode.Format));
    ini.write_int("refresh_rate", static_cast<int>(s.mode.RefreshRate));
    ini.write_int("adapter", static_cast<int>(s.adapter));
    ini.write_bool("present_immediate", s.present_interval == D3DPRESENT_INTERVAL_IMMEDIATE);
}
