#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/dinput.h"
#include "platform/win32.h"

TEST(Keyboard, ScancodesMapToTheirDirectInputCodes) {
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_ESCAPE), DIK_ESCAPE);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_A), 0x1E);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_S), DIK_S);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_X), 0x2D);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_LCTRL), 0x1D);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_RCTRL), 0x9D);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_UP), 0xC8);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_PAGEDOWN), 0xD1);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_KP_ENTER), 0x9C);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_F12), 0x58);
    EXPECT_EQ(dik_from_sdl_scancode(SDL_SCANCODE_CAPSLOCK), 0); // carried as a toggle instead
    // No two SDL keys may land on the same code.
    int seen[256] = {};
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        if (BYTE d = dik_from_sdl_scancode(sc)) {
            EXPECT_EQ(seen[d]++, 0) << "code " << int(d);
        }
    }
}

TEST(Keyboard, LockKeysReportTheirToggleState) {
    SDL_SetModState(static_cast<SDL_Keymod>(KMOD_CAPS | KMOD_SCROLL));
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
    EXPECT_EQ(GetKeyState(VK_NUMLOCK) & 1, 0);
    EXPECT_EQ(GetKeyState(VK_SCROLL) & 1, 1);
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0);
}

TEST(DirectInput, DevicesFollowTheCooperativeRules) {
    IDirectInput8A* di = nullptr;
    ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                 reinterpret_cast<void**>(&di), nullptr),
              DI_OK);
    IDirectInputDevice8A* kb = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);
    BYTE keys[256];
    EXPECT_EQ(kb->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
    EXPECT_LT(kb->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), 0);
    EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY), DI_OK);
    EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(kb->Acquire(), DI_OK);
    EXPECT_EQ(kb->GetDeviceState(256, keys), DI_OK);
    EXPECT_LT(kb->GetDeviceState(16, keys), 0);
    kb->Release();
    IDirectInputDevice8A* mouse = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    EXPECT_LT(mouse->SetDataFormat(&c_dfDIKeyboard), 0);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    DIMOUSESTATE s{};
    EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DI_OK);
    mouse->Release();
    di->Release();
}

TEST(Window, RectanglesAndCursorCounter) {
    RECT r{10, 20, 30, 40};
    EXPECT_TRUE(PtInRect(&r, POINT{10, 20}));
    EXPECT_FALSE(PtInRect(&r, POINT{30, 20}));
    EXPECT_FALSE(PtInRect(&r, POINT{10, 40}));
    int base = ShowCursor(FALSE);
    EXPECT_EQ(ShowCursor(FALSE), base - 1);
    EXPECT_EQ(ShowCursor(TRUE), base);
    EXPECT_EQ(ShowCursor(TRUE), base + 1);
    ShowCursor(FALSE);
}
