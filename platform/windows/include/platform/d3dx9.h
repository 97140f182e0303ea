// Windows: the SDK's D3DX 9 declarations. The program implements the few functions it calls
// itself (platform/d3d9/d3dx9.cpp), so no D3DX runtime library is needed beside the program.
#pragma once
#include "platform/d3d9.h"
#include <d3dx9.h>
