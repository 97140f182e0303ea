// The D3DX matrix and vector helpers: row vectors (v' = v * M), translation in the fourth row.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9.h"

namespace {
constexpr float pi = 3.14159265358979f;

D3DXVECTOR4 transform(float x, float y, float z, const D3DXMATRIX& m) {
    D3DXVECTOR3 v{x, y, z};
    D3DXVECTOR4 out{};
    EXPECT_EQ(D3DXVec3Transform(&out, &v, &m), &out);
    return out;
}
} // namespace

TEST(D3dxMath, IdentityLeavesVectorsAlone) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    D3DXVECTOR4 r = transform(3.0f, -4.0f, 5.0f, m);
    EXPECT_FLOAT_EQ(r.x, 3.0f);
    EXPECT_FLOAT_EQ(r.y, -4.0f);
    EXPECT_FLOAT_EQ(r.z, 5.0f);
    EXPECT_FLOAT_EQ(r.w, 1.0f);
}

TEST(D3dxMath, RotationZTurnsClockwiseOnAYDownScreen) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixRotationZ(&m, pi / 2), &m);
    EXPECT_NEAR(m._11, 0.0f, 1e-6f);
    EXPECT_NEAR(m._12, 1.0f, 1e-6f);
    EXPECT_NEAR(m._21, -1.0f, 1e-6f);
    EXPECT_NEAR(m._22, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(m._33, 1.0f);
    EXPECT_FLOAT_EQ(m._44, 1.0f);
    // (1, 0) -> (0, 1): with y pointing down, the right-hand point swings below: clockwise.
    D3DXVECTOR4 r = transform(1.0f, 0.0f, 0.0f, m);
    EXPECT_NEAR(r.x, 0.0f, 1e-6f);
    EXPECT_NEAR(r.y, 1.0f, 1e-6f);
    r = transform(0.0f, 1.0f, 7.0f, m);
    EXPECT_NEAR(r.x, -1.0f, 1e-6f);
    EXPECT_NEAR(r.y, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(r.z, 7.0f);
    // A quarter turn of a 20 x 10 box about its centre gives a 10 x 20 box.
    D3DXMatrixRotationZ(&m, pi / 2);
    D3DXVECTOR4 corner = transform(-10.0f, -5.0f, 0.0f, m);
    EXPECT_NEAR(std::fabs(corner.x), 5.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(corner.y), 10.0f, 1e-5f);
}

TEST(D3dxMath, ScalingIsADiagonal) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 1.0f, -800.0f / 600.0f, 1.0f);
    EXPECT_FLOAT_EQ(m._11, 1.0f);
    EXPECT_FLOAT_EQ(m._22, -1.3333334f);
    EXPECT_FLOAT_EQ(m._33, 1.0f);
    EXPECT_FLOAT_EQ(m._44, 1.0f);
    EXPECT_FLOAT_EQ(
        m._12 + m._13 + m._14 + m._21 + m._23 + m._24 + m._31 + m._32 + m._34 + m._41 + m._42 + m._43, 0.0f);
    D3DXVECTOR4 r = transform(2.0f, 3.0f, 4.0f, m);
    EXPECT_FLOAT_EQ(r.x, 2.0f);
    EXPECT_FLOAT_EQ(r.y, -4.0f);
    EXPECT_FLOAT_EQ(r.z, 4.0f);
}

TEST(D3dxMath, TranslationSitsInTheFourthRow) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 10.0f, 20.0f, 30.0f);
    EXPECT_FLOAT_EQ(m._41, 10.0f);
    EXPECT_FLOAT_EQ(m._42, 20.0f);
    EXPECT_FLOAT_EQ(m._43, 30.0f);
    EXPECT_FLOAT_EQ(m._14, 0.0f);
    D3DXVECTOR4 r = transform(1.0f, 2.0f, 3.0f, m);
    EXPECT_FLOAT_EQ(r.x, 11.0f);
    EXPECT_FLOAT_EQ(r.y, 22.0f);
    EXPECT_FLOAT_EQ(r.z, 33.0f);
    EXPECT_FLOAT_EQ(r.w, 1.0f);
    // A direction (w 0) does not move.
    D3DXVECTOR4 dir{1.0f, 2.0f, 3.0f, 0.0f}, moved{};
    D3DXVec4Transform(&moved, &dir, &m);
    EXPECT_FLOAT_EQ(moved.x, 1.0f);
    EXPECT_FLOAT_EQ(moved.w, 0.0f);
}

TEST(D3dxMath, MultiplyAppliesTheFirstMatrixFirst) {
    D3DXMATRIX scale, move, both;
    D3DXMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
    D3DXMatrixTranslation(&move, 5.0f, 0.0f, 0.0f);
    EXPECT_EQ(D3DXMatrixMultiply(&both, &scale, &move), &both);
    EXPECT_FLOAT_EQ(transform(1.0f, 1.0f, 0.0f, both).x, 7.0f); // scaled to 2, then moved
    D3DXMatrixMultiply(&both, &move, &scale);
    EXPECT_FLOAT_EQ(transform(1.0f, 1.0f, 0.0f, both).x, 12.0f); // moved to 6, then scaled
    // The result may overwrite an input.
    D3DXMATRIX m = scale;
    D3DXMatrixMultiply(&m, &m, &move);
    EXPECT_FLOAT_EQ(m._41, 5.0f);
    EXPECT_FLOAT_EQ(m._11, 2.0f);
}

TEST(D3dxMath, Vec3TransformDoesNotDivideByW) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    m._14 = 1.0f; // w' = x + 1
    m._44 = 1.0f;
    D3DXVECTOR4 r = transform(3.0f, 0.0f, 0.0f, m);
    EXPECT_FLOAT_EQ(r.x, 3.0f);
    EXPECT_FLOAT_EQ(r.w, 4.0f);
}

TEST(D3dxMath, Vec4TransformUsesTheGivenW) {
    D3DXMATRIX m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = static_cast<float>(i * 4 + j + 1);
    D3DXVECTOR4 v{1.0f, 2.0f, 3.0f, 4.0f}, r{};
    EXPECT_EQ(D3DXVec4Transform(&r, &v, &m), &r);
    // r_j = sum_i v_i * m[i][j]
    EXPECT_FLOAT_EQ(r.x, 1 * 1 + 2 * 5 + 3 * 9 + 4 * 13);
    EXPECT_FLOAT_EQ(r.y, 1 * 2 + 2 * 6 + 3 * 10 + 4 * 14);
    EXPECT_FLOAT_EQ(r.z, 1 * 3 + 2 * 7 + 3 * 11 + 4 * 15);
    EXPECT_FLOAT_EQ(r.w, 1 * 4 + 2 * 8 + 3 * 12 + 4 * 16);
    D3DXVec4Transform(&v, &v, &m); // in place
    EXPECT_FLOAT_EQ(v.x, r.x);
    EXPECT_FLOAT_EQ(v.w, r.w);
}
