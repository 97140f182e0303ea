// Rules of Direct3D 9 that every device implementation follows the same way: the OpenGL device
// and the recording device of the tests both include this, so they cannot drift apart.
#pragma once
#include "platform/d3d9.h"

// How many vertices a draw call of `primitives` primitives of a type reads; 0 for a type Direct3D
// does not know.
inline UINT primitive_vertex_count(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
    case D3DPT_POINTLIST:
        return primitives;
    case D3DPT_LINELIST:
        return primitives * 2;
    case D3DPT_LINESTRIP:
        return primitives + 1;
    case D3DPT_TRIANGLELIST:
        return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return primitives + 2;
    }
    return 0;
}
