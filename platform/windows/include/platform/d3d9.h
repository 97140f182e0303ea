// Windows: the system's Direct3D 9.
#pragma once
#include "platform/win32.h"
#include <d3d9.h>
