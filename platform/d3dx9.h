// The D3DX 9 utility functions the program calls: the texture loader and a little matrix and
// vector math (row vectors: v' = v * M, translation in the fourth row).
#pragma once
#include "platform/d3d9.h"

constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;
constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFEu;
constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFDu;
constexpr DWORD D3DX_FILTER_NONE = 1, D3DX_FILTER_POINT = 2, D3DX_FILTER_LINEAR = 3, D3DX_FILTER_TRIANGLE = 4,
                D3DX_FILTER_BOX = 5, D3DX_FILTER_DITHER = 0x80000;

struct D3DXMATRIX : D3DMATRIX {};
struct D3DXVECTOR3 {
    float x, y, z;
};
struct D3DXVECTOR4 {
    float x, y, z, w;
};
enum D3DXIMAGE_FILEFORMAT : DWORD { D3DXIFF_BMP = 0, D3DXIFF_JPG = 1, D3DXIFF_TGA = 2, D3DXIFF_PNG = 3 };
struct D3DXIMAGE_INFO {
    UINT Width, Height, Depth, MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};
struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};

// Loads a PNG, BMP, TGA or ICO file (told apart by content) into a new texture made on `device`.
// Width and height 0 (or D3DX_DEFAULT_NONPOW2 / D3DX_FROM_FILE) take the file's size; other sizes
// scale the picture. Other formats, and pictures or sizes beyond the bounds of image_file.h, fail
// (E_FAIL, or D3DERR_INVALIDCALL for a missing file or a size asked for out of bounds).
// Pixels equal to `color_key` (compared as A8R8G8B8, 0 = no key) become transparent black.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, LPCSTR file_name, UINT width, UINT height,
                                     UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mip_filter, D3DCOLOR color_key,
                                     D3DXIMAGE_INFO* source_info, PALETTEENTRY* palette,
                                     IDirect3DTexture9** texture);

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);
