// DirectInput 8 on SDL2: the keyboard from SDL's key state, the mouse from the motion and
// wheel events the message pump hands over plus SDL's button state.
#include "platform/dinput.h"

#include <SDL2/SDL.h>
#include <cstring>

#include "platform/window/window_internal.h"

const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), sizeof(DIMOUSESTATE)};
const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 256};

namespace {
long g_mouse_dx = 0, g_mouse_dy = 0, g_mouse_dz = 0;

struct scancode_pair {
    SDL_Scancode sdl;
    BYTE dik;
};
const scancode_pair g_keymap[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    {SDL_SCANCODE_1, DIK_1},
    {SDL_SCANCODE_2, DIK_2},
    {SDL_SCANCODE_3, DIK_3},
    {SDL_SCANCODE_4, DIK_4},
    {SDL_SCANCODE_5, DIK_5},
    {SDL_SCANCODE_6, DIK_6},
    {SDL_SCANCODE_7, DIK_7},
    {SDL_SCANCODE_8, DIK_8},
    {SDL_SCANCODE_9, DIK_9},
    {SDL_SCANCODE_0, DIK_0},
    {SDL_SCANCODE_MINUS, DIK_MINUS},
    {SDL_SCANCODE_EQUALS, DIK_EQUALS},
    {SDL_SCANCODE_BACKSPACE, DIK_BACK},
    {SDL_SCANCODE_TAB, DIK_TAB},
    {SDL_SCANCODE_Q, DIK_Q},
    {SDL_SCANCODE_W, DIK_W},
    {SDL_SCANCODE_E, DIK_E},
    {SDL_SCANCODE_R, DIK_R},
    {SDL_SCANCODE_T, DIK_T},
    {SDL_SCANCODE_Y, DIK_Y},
    {SDL_SCANCODE_U, DIK_U},
    {SDL_SCANCODE_I, DIK_I},
    {SDL_SCANCODE_O, DIK_O},
    {SDL_SCANCODE_P, DIK_P},
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},
    {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL},
    {SDL_SCANCODE_A, DIK_A},
    {SDL_SCANCODE_S, DIK_S},
    {SDL_SCANCODE_D, DIK_D},
    {SDL_SCANCODE_F, DIK_F},
    {SDL_SCANCODE_G, DIK_G},
    {SDL_SCANCODE_H, DIK_H},
    {SDL_SCANCODE_J, DIK_J},
    {SDL_SCANCODE_K, DIK_K},
    {SDL_SCANCODE_L, DIK_L},
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
    {SDL_SCANCODE_GRAVE, DIK_GRAVE},
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_Z, DIK_Z},
    {SDL_SCANCODE_X, DIK_X},
    {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V},
    {SDL_SCANCODE_B, DIK_B},
    {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M},
    {SDL_SCANCODE_COMMA, DIK_COMMA},
    {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH},
    {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},
    {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE},
    {SDL_SCANCODE_F1, DIK_F1},
    {SDL_SCANCODE_F2, DIK_F2},
    {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4},
    {SDL_SCANCODE_F5, DIK_F5},
    {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7},
    {SDL_SCANCODE_F8, DIK_F8},
    {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10},
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6},
    {SDL_SCANCODE_KP_PLUS, DIK_ADD},
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1},
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
    {SDL_SCANCODE_F11, DIK_F11},
    {SDL_SCANCODE_F12, DIK_F12},
    {SDL_SCANCODE_F13, DIK_F13},
    {SDL_SCANCODE_F14, DIK_F14},
    {SDL_SCANCODE_F15, DIK_F15},
    {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},
    {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},
    {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS},
    {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
    {SDL_SCANCODE_KP_COMMA, DIK_NUMPADCOMMA},
    {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},
    {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE},
    {SDL_SCANCODE_HOME, DIK_HOME},
    {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
    {SDL_SCANCODE_LEFT, DIK_LEFT},
    {SDL_SCANCODE_RIGHT, DIK_RIGHT},
    {SDL_SCANCODE_END, DIK_END},
    {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},
    {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE},
    {SDL_SCANCODE_LGUI, DIK_LWIN},
    {SDL_SCANCODE_RGUI, DIK_RWIN},
    {SDL_SCANCODE_APPLICATION, DIK_APPS},
};

enum class device_kind { mouse, keyboard };

class device final : public IDirectInputDevice8A {
  public:
    explicit device(device_kind kind) : kind_(kind) {}
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT SetDataFormat(const DIDATAFORMAT* format) override {
        const DIDATAFORMAT& want = kind_ == device_kind::mouse ? c_dfDIMouse : c_dfDIKeyboard;
        if (!format || format->dwDataSize != want.dwDataSize) return E_INVALIDARG;
        formatted_ = true;
        return DI_OK;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
        bool exclusive = flags & DISCL_EXCLUSIVE, nonexclusive = flags & DISCL_NONEXCLUSIVE;
        bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
        if (exclusive == nonexclusive || foreground == background) return E_INVALIDARG;
        if (exclusive && background) return E_INVALIDARG;
        return DI_OK;
    }
    HRESULT Acquire() override {
        if (!formatted_) return E_INVALIDARG;
        acquired_ = true;
        return DI_OK;
    }
    HRESULT Unacquire() override {
        acquired_ = false;
        return DI_OK;
    }
    HRESULT GetDeviceState(DWORD size, void* data) override {
        if (!acquired_) return DIERR_NOTACQUIRED;
        if (!data) return E_INVALIDARG;
        return kind_ == device_kind::mouse ? mouse_state(size, data) : keyboard_state(size, data);
    }

  private:
    HRESULT keyboard_state(DWORD size, void* data) {
        if (size != 256) return E_INVALIDARG;
        BYTE* keys = static_cast<BYTE*>(data);
        std::memset(keys, 0, 256);
        int count = 0;
        const Uint8* state = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetKeyboardState(&count) : nullptr;
        if (!state) return DI_OK;
        for (const scancode_pair& p : g_keymap)
            if (p.sdl < count && state[p.sdl]) keys[p.dik] = 0x80;
        return DI_OK;
    }
    HRESULT mouse_state(DWORD size, void* data) {
        if (size != sizeof(DIMOUSESTATE)) return E_INVALIDARG;
        DIMOUSESTATE s{};
        s.lX = static_cast<LONG>(g_mouse_dx);
        s.lY = static_cast<LONG>(g_mouse_dy);
        s.lZ = static_cast<LONG>(g_mouse_dz);
        g_mouse_dx = g_mouse_dy = g_mouse_dz = 0;
        Uint32 buttons = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetMouseState(nullptr, nullptr) : 0;
        s.rgbButtons[0] = (buttons & SDL_BUTTON_LMASK) ? 0x80 : 0;
        s.rgbButtons[1] = (buttons & SDL_BUTTON_RMASK) ? 0x80 : 0;
        s.rgbButtons[2] = (buttons & SDL_BUTTON_MMASK) ? 0x80 : 0;
        s.rgbButtons[3] = (buttons & SDL_BUTTON_X1MASK) ? 0x80 : 0;
        std::memcpy(data, &s, sizeof s);
        return DI_OK;
    }

    device_kind kind_;
    ULONG refs_ = 1;
    bool formatted_ = false;
    bool acquired_ = false;
};

class direct_input final : public IDirectInput8A {
  public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** out, void* outer) override {
        if (!out || outer) return E_INVALIDARG;
        if (guid == GUID_SysMouse)
            *out = new device(device_kind::mouse);
        else if (guid == GUID_SysKeyboard)
            *out = new device(device_kind::keyboard);
        else
            return E_INVALIDARG;
        return DI_OK;
    }

  private:
    ULONG refs_ = 1;
};
} // namespace

BYTE dik_from_sdl_scancode(int scancode) {
    for (const scancode_pair& p : g_keymap)
        if (p.sdl == scancode) return p.dik;
    return 0;
}

void dinput_handle_event(const SDL_Event& e) {
    if (e.type == SDL_MOUSEMOTION) {
        g_mouse_dx += e.motion.xrel;
        g_mouse_dy += e.motion.yrel;
    } else if (e.type == SDL_MOUSEWHEEL) {
        int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        g_mouse_dz += 120L * notches;
    }
}

HRESULT DirectInput8Create(HINSTANCE, DWORD version, REFIID iid, void** out, void* outer) {
    if (!out || outer || version != DIRECTINPUT_VERSION || !(iid == IID_IDirectInput8A)) return E_INVALIDARG;
    *out = static_cast<IDirectInput8A*>(new direct_input);
    return DI_OK;
}
