// The seam between surfaces and GDI inside the platform layer: a surface's GetDC makes a
// context over its 32-bit pixels (0xAARRGGBB values, rows `pitch` bytes apart) and ReleaseDC
// ends it. Drawing writes the pixels in place while the context lives.
#pragma once
#include "platform/win32.h"

HDC gdi_create_memory_dc(void* bits, int width, int height, int pitch);
void gdi_delete_memory_dc(HDC dc);
