// Windows: the system's GDI (declared by <windows.h>).
#pragma once
#include "platform/win32.h"
