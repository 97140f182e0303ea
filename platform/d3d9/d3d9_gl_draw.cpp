// Drawing: the fixed-function pipeline the program uses, emulated by small generated shaders,
// and the lazy upload of recorded states at draw time.
//
// Index: 1. GL objects of the device; 2. shaders and their cache; 3. state upload at draw time;
// 4. draw calls.
//
// One vertex shader per position kind (pretransformed pixels or world positions through the
// transforms); one fragment shader per combination of texture stage 0, point-sprite
// coordinates and alpha test. All of them share one uniform block.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/d3d9/d3d9_util.h"

namespace d3dgl {

namespace {
// The uniform block, std140: the matrix is handed over in D3D's row-major memory order and
// used as `u_transform * p`, which is D3D's row-vector `p * M`.
struct uniform_block {
    float transform[16];
    float screen[4]; // pixels -> GL clip space: x * s.x + s.z, y * s.y + s.w
    float point[4];  // smallest and largest point size, alpha reference (0..255)
};

constexpr const char* block_source = R"(
layout(std140) uniform hv_state {
    mat4 u_transform;
    vec4 u_screen;
    vec4 u_point;
};
)";

constexpr GLuint attr_position = 0, attr_colour = 1, attr_uv = 2, attr_psize = 3;

// Program key: what the draw needs from the shaders.
constexpr uint32_t key_pretransformed = 1u << 0;
constexpr uint32_t key_textured = 1u << 1;
constexpr uint32_t key_sprite = 1u << 2;
constexpr int key_colour_op = 3, key_alpha_op = 7, key_args = 11, key_alpha_func = 15;

GLenum compare_of(DWORD d3d) {
    return d3d >= 1 && d3d <= 8 ? GL_NEVER + (d3d - 1) : GL_ALWAYS;
}

GLenum blend_of(DWORD d3d) {
    switch (d3d) {
    case 1:
        return GL_ZERO;
    case 2:
        return GL_ONE;
    case 3:
        return GL_SRC_COLOR;
    case 4:
        return GL_ONE_MINUS_SRC_COLOR;
    case 5:
        return GL_SRC_ALPHA;
    case 6:
        return GL_ONE_MINUS_SRC_ALPHA;
    case 7:
        return GL_DST_ALPHA;
    case 8:
        return GL_ONE_MINUS_DST_ALPHA;
    case 9:
        return GL_DST_COLOR;
    case 10:
        return GL_ONE_MINUS_DST_COLOR;
    case 11:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum blend_op_of(DWORD d3d) {
    switch (d3d) {
    case 2:
        return GL_FUNC_SUBTRACT;
    case 3:
        return GL_FUNC_REVERSE_SUBTRACT;
    case 4:
        return GL_MIN;
    case 5:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum address_of(DWORD d3d) {
    switch (d3d) {
    case 2:
        return GL_MIRRORED_REPEAT;
    case 3:
        return GL_CLAMP_TO_EDGE;
    case 4:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

bool known_type(D3DPRIMITIVETYPE type) {
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

GLenum mode_of(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST:
        return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_NONE;
    }
}

std::string vertex_source(bool pretransformed) {
    std::string s = "#version 330 core\n";
    s += block_source;
    s += R"(
in vec4 a_position;
in vec4 a_colour;
in vec2 a_uv;
in float a_psize;
out vec4 v_colour;
out vec2 v_uv;
void main() {
)";
    // Pretransformed positions are render-target pixels; z is the depth itself.
    s += pretransformed
             ? "    gl_Position = vec4(a_position.x * u_screen.x + u_screen.z, a_position.y * u_screen.y + "
               "u_screen.w, a_position.z * 2.0 - 1.0, 1.0);\n"
             : "    gl_Position = u_transform * vec4(a_position.xyz, 1.0);\n";
    s += R"(    gl_PointSize = clamp(a_psize, u_point.x, u_point.y);
    v_colour = a_colour;
    v_uv = a_uv;
}
)";
    return s;
}

std::string stage_op(uint32_t op, const std::string& x, const std::string& y) {
    switch (op) {
    case D3DTOP_SELECTARG1:
        return x;
    case D3DTOP_SELECTARG2:
        return y;
    case 5:
        return "clamp(" + x + " * " + y + " * 2.0, 0.0, 1.0)";
    case 6:
        return "clamp(" + x + " * " + y + " * 4.0, 0.0, 1.0)";
    case 7:
        return "clamp(" + x + " + " + y + ", 0.0, 1.0)";
    case 8:
        return "clamp(" + x + " + " + y + " - 0.5, 0.0, 1.0)";
    case 9:
        return "clamp((" + x + " + " + y + " - 0.5) * 2.0, 0.0, 1.0)";
    case 10:
        return "clamp(" + x + " - " + y + ", 0.0, 1.0)";
    default:
        return x + " * " + y; // MODULATE, and what this device does not know
    }
}

std::string fragment_source(uint32_t key) {
    std::string s = "#version 330 core\n";
    s += block_source;
    s += R"(
uniform sampler2D u_texture;
in vec4 v_colour;
in vec2 v_uv;
out vec4 o_colour;
void main() {
    vec4 d = v_colour;
)";
    if (key & key_textured) {
        s += (key & key_sprite) ? "    vec4 t = texture(u_texture, gl_PointCoord);\n"
                                : "    vec4 t = texture(u_texture, v_uv);\n";
        uint32_t colour_op = (key >> key_colour_op) & 15, alpha_op = (key >> key_alpha_op) & 15;
        uint32_t args = (key >> key_args) & 15;
        auto arg = [&](int bit, const char* swizzle) {
            return std::string((args >> bit) & 1 ? "t" : "d") + swizzle;
        };
        s += "    vec3 c = " + stage_op(colour_op, arg(0, ".rgb"), arg(1, ".rgb")) + ";\n";
        s += alpha_op == D3DTOP_DISABLE
                 ? std::string("    float a = d.a;\n")
                 : "    float a = " + stage_op(alpha_op, arg(2, ".a"), arg(3, ".a")) + ";\n";
    } else {
        // No texture on the stage (or the stage disabled): the diffuse colour and alpha.
        s += "    vec3 c = d.rgb;\n    float a = d.a;\n";
    }
    static const char* compare[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};
    uint32_t func = (key >> key_alpha_func) & 15;
    if (func == 1 || func == 8) {
        if (func == 1) s += "    discard;\n";
    } else if (func >= 2 && func <= 7) {
        // The alpha test compares 8-bit alpha with ALPHAREF, as the D3D pipeline does.
        s += std::string("    if (!(floor(a * 255.0 + 0.5) ") + compare[func] + " u_point.z)) discard;\n";
    }
    s += "    o_colour = vec4(c, a);\n}\n";
    return s;
}

GLuint compile(GLenum type, const std::string& source) {
    GLuint shader = gl.CreateShader(type);
    const char* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    GLint ok = 0;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "d3d9 on GL: shader did not compile: %s\n", log);
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}
} // namespace

// ---- 1. GL objects of the device ----------------------------------------------------------

bool gl_device::init_gl_objects() {
    gl.GenVertexArrays(1, &vao_);
    gl.BindVertexArray(vao_);
    gl.GenSamplers(1, &sampler_);
    gl.BindSampler(0, sampler_);
    gl.GenBuffers(1, &uniform_buffer_);
    gl.BindBufferBase(GL_UNIFORM_BUFFER, 0, uniform_buffer_);
    stream_vertices_ = stream_ring{};
    stream_indices_ = stream_ring{};
    gl.GenBuffers(1, &stream_vertices_.buffer);
    gl.GenBuffers(1, &stream_indices_.buffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, stream_indices_.buffer); // part of the one vertex array
    gl.ActiveTexture(GL_TEXTURE0);
    gl.Enable(GL_SCISSOR_TEST); // always on: it also keeps drawing inside the viewport
    gl.Enable(GL_PROGRAM_POINT_SIZE);
    gl.DepthRange(0.0, 1.0);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (GLuint a : {attr_position, attr_colour, attr_uv, attr_psize})
        gl.DisableVertexAttribArray(a);
    shaders_.assign(2, 0);
    int depth_bits = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth_bits);
    window_has_depth_ = depth_bits > 0;
    return gl.GetError() == GL_NO_ERROR;
}

void gl_device::free_gl_objects() {
    gl.UseProgram(0);
    for (auto& [key, program] : programs_)
        gl.DeleteProgram(program);
    programs_.clear();
    for (GLuint s : shaders_)
        if (s) gl.DeleteShader(s);
    shaders_.clear();
    gl.BindVertexArray(0);
    gl.DeleteVertexArrays(1, &vao_);
    gl.DeleteSamplers(1, &sampler_);
    GLuint buffers[] = {uniform_buffer_, stream_vertices_.buffer, stream_indices_.buffer};
    gl.DeleteBuffers(3, buffers);
}

void gl_device::mark_all_dirty() {
    dirty_ = dirty_all;
    program_key_ = 0xFFFFFFFFu;
    bound_framebuffer_ = bound_texture_ = 0xFFFFFFFFu;
    layout_buffer_ = 0xFFFFFFFFu;
    layout_fvf_ = 0xFFFFFFFFu;
}

// ---- 2. shaders and their cache -----------------------------------------------------------

GLuint gl_device::program_for(uint32_t key) {
    auto found = programs_.find(key);
    if (found != programs_.end()) return found->second;
    bool pretransformed = (key & key_pretransformed) != 0;
    GLuint& vs = shaders_[pretransformed ? 1 : 0];
    if (!vs) vs = compile(GL_VERTEX_SHADER, vertex_source(pretransformed));
    GLuint fs = compile(GL_FRAGMENT_SHADER, fragment_source(key));
    if (!vs || !fs) {
        if (fs) gl.DeleteShader(fs);
        return 0;
    }
    GLuint program = gl.CreateProgram();
    gl.AttachShader(program, vs);
    gl.AttachShader(program, fs);
    gl.BindAttribLocation(program, attr_position, "a_position");
    gl.BindAttribLocation(program, attr_colour, "a_colour");
    gl.BindAttribLocation(program, attr_uv, "a_uv");
    gl.BindAttribLocation(program, attr_psize, "a_psize");
    gl.BindFragDataLocation(program, 0, "o_colour");
    gl.LinkProgram(program);
    gl.DeleteShader(fs);
    GLint ok = 0;
    gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
        std::fprintf(stderr, "d3d9 on GL: program did not link: %s\n", log);
        gl.DeleteProgram(program);
        return 0;
    }
    GLuint block = gl.GetUniformBlockIndex(program, "hv_state");
    if (block != GL_INVALID_INDEX) gl.UniformBlockBinding(program, block, 0);
    gl.UseProgram(program);
    GLint sampler = gl.GetUniformLocation(program, "u_texture");
    if (sampler >= 0) gl.Uniform1i(sampler, 0);
    programs_[key] = program;
    program_key_ = 0xFFFFFFFFu; // used above: make the caller bind it again
    return program;
}

// Present's copy of the back buffer onto the window: one triangle over the whole window.
// Exact when the sizes agree (texel for pixel, the rows turned over: the back buffer's row 0
// is the top, the window's the bottom), filtered when the window is another size. A shader
// of our own rather than a framebuffer blit: the renderer compiles its blit shader anew in
// every process (tens of milliseconds at the first frame), where ours comes from its cache.
GLuint gl_device::copy_program(bool exact) {
    const uint32_t key = exact ? 0xC0000001u : 0xC0000000u;
    auto found = programs_.find(key);
    if (found != programs_.end()) return found->second;
    std::string head = exact ? "#version 330 core\n#define EXACT 1\n" : "#version 330 core\n";
    GLuint vs = compile(GL_VERTEX_SHADER, head + R"(
out vec2 v_uv;
void main() {
    vec2 p = vec2(float((gl_VertexID & 1) << 2) - 1.0, float((gl_VertexID & 2) << 1) - 1.0);
    v_uv = vec2((p.x + 1.0) * 0.5, (1.0 - p.y) * 0.5);
    gl_Position = vec4(p, 0.0, 1.0);
}
)");
    GLuint fs = compile(GL_FRAGMENT_SHADER, head + R"(
uniform sampler2D u_frame;
in vec2 v_uv;
out vec4 o_colour;
void main() {
#ifdef EXACT
    ivec2 p = ivec2(gl_FragCoord.xy);
    o_colour = texelFetch(u_frame, ivec2(p.x, textureSize(u_frame, 0).y - 1 - p.y), 0);
#else
    o_colour = texture(u_frame, v_uv);
#endif
}
)");
    GLuint program = 0;
    if (vs && fs) {
        program = gl.CreateProgram();
        gl.AttachShader(program, vs);
        gl.AttachShader(program, fs);
        gl.BindFragDataLocation(program, 0, "o_colour");
        gl.LinkProgram(program);
        GLint ok = 0;
        gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            gl.DeleteProgram(program);
            program = 0;
        }
    }
    if (vs) gl.DeleteShader(vs);
    if (fs) gl.DeleteShader(fs);
    if (program) programs_[key] = program;
    return program;
}

bool gl_device::apply_program(D3DPRIMITIVETYPE type) {
    vertex_layout layout;
    layout_of(fvf_, &layout);
    uint32_t key = layout.pretransformed ? key_pretransformed : 0;
    const DWORD* stage = stage_states_[0];
    if (textures_[0] && stage[D3DTSS_COLOROP] != D3DTOP_DISABLE) {
        auto is_texture = [](DWORD arg) { return (arg & 0xF) == D3DTA_TEXTURE ? 1u : 0u; };
        key |= key_textured;
        key |= (stage[D3DTSS_COLOROP] & 15) << key_colour_op;
        key |= (stage[D3DTSS_ALPHAOP] & 15) << key_alpha_op;
        key |= (is_texture(stage[D3DTSS_COLORARG1]) | is_texture(stage[D3DTSS_COLORARG2]) << 1 |
                is_texture(stage[D3DTSS_ALPHAARG1]) << 2 | is_texture(stage[D3DTSS_ALPHAARG2]) << 3)
               << key_args;
        if (type == D3DPT_POINTLIST && render_states_[D3DRS_POINTSPRITEENABLE]) key |= key_sprite;
    }
    DWORD func = render_states_[D3DRS_ALPHATESTENABLE] ? render_states_[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    if (func >= D3DCMP_NEVER && func < D3DCMP_ALWAYS) key |= func << key_alpha_func;
    if (key == program_key_) return true;
    GLuint program = program_for(key);
    if (!program) return false;
    gl.UseProgram(program);
    program_key_ = key;
    return true;
}

// ---- 3. state upload at draw time ---------------------------------------------------------

void gl_device::apply_target() {
    if (!(dirty_ & dirty_target)) return;
    GLuint fbo = target_->on_window() ? 0 : target_->framebuffer();
    if (fbo) {
        GLuint want = depth_ ? depth_->depth_renderbuffer() : 0;
        if (bound_framebuffer_ != fbo) gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
        // Attached anew at every change of target or depth: a renderbuffer deleted while
        // attached to an unbound framebuffer stays attached in GL, and its name may come back.
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, want);
        has_depth_ = want != 0;
    } else {
        if (bound_framebuffer_ != 0) gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        // The window has one depth buffer; a depth surface of the program's own stands for it.
        has_depth_ = depth_ && window_has_depth_;
    }
    bound_framebuffer_ = fbo;
    flip_ = fbo == 0;
    target_w_ = target_->width;
    target_h_ = target_->height;
    gl.Viewport(0, 0, static_cast<GLsizei>(target_w_), static_cast<GLsizei>(target_h_));
    gl.PointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, flip_ ? GL_UPPER_LEFT : GL_LOWER_LEFT);
    dirty_ &= ~dirty_target;
    dirty_ |= dirty_scissor | dirty_uniforms | dirty_cull | dirty_depth;
}

RECT gl_device::drawing_area() const {
    RECT r{static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
           static_cast<LONG>(viewport_.X + viewport_.Width),
           static_cast<LONG>(viewport_.Y + viewport_.Height)};
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, static_cast<LONG>(target_->width));
    r.bottom = std::min<LONG>(r.bottom, static_cast<LONG>(target_->height));
    if (render_states_[D3DRS_SCISSORTESTENABLE]) {
        r.left = std::max(r.left, scissor_.left);
        r.top = std::max(r.top, scissor_.top);
        r.right = std::min(r.right, scissor_.right);
        r.bottom = std::min(r.bottom, scissor_.bottom);
    }
    if (clip_damage_) r = rect_intersection(r, damage_clip_);
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void gl_device::apply_scissor_rect(const RECT& r) {
    GLint y = flip_ ? static_cast<GLint>(target_h_) - r.bottom : r.top;
    gl.Scissor(r.left, y, r.right - r.left, r.bottom - r.top);
}

void gl_device::apply_blend() {
    const DWORD* rs = render_states_;
    if (rs[D3DRS_ALPHABLENDENABLE]) {
        gl.Enable(GL_BLEND);
        gl.BlendFunc(blend_of(rs[D3DRS_SRCBLEND]), blend_of(rs[D3DRS_DESTBLEND]));
        gl.BlendEquation(blend_op_of(rs[D3DRS_BLENDOP]));
    } else {
        gl.Disable(GL_BLEND);
    }
}

void gl_device::apply_depth() {
    const DWORD* rs = render_states_;
    if (has_depth_ && rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(compare_of(rs[D3DRS_ZFUNC]));
        gl.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
        gl.Disable(GL_DEPTH_TEST);
    }
}

void gl_device::apply_cull() {
    DWORD mode = render_states_[D3DRS_CULLMODE];
    if (mode != D3DCULL_CW && mode != D3DCULL_CCW) {
        gl.Disable(GL_CULL_FACE);
        return;
    }
    // D3D names the winding as seen on the y-down screen. Drawn into the window, GL sees the
    // screen the same way up; drawn into a framebuffer object its y runs the other way, which
    // mirrors every winding.
    bool cull_ccw = mode == D3DCULL_CCW;
    gl.Enable(GL_CULL_FACE);
    gl.CullFace(GL_BACK);
    gl.FrontFace(cull_ccw == flip_ ? GL_CW : GL_CCW);
}

void gl_device::apply_sampler() {
    const DWORD* ss = sampler_states_[0];
    bool linear_min = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    GLenum min = linear_min ? GL_LINEAR : GL_NEAREST;
    if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_POINT)
        min = linear_min ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (ss[D3DSAMP_MIPFILTER] >= D3DTEXF_LINEAR)
        min = linear_min ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    gl.SamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(min));
    gl.SamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER,
                         ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    gl.SamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, static_cast<GLint>(address_of(ss[D3DSAMP_ADDRESSU])));
    gl.SamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, static_cast<GLint>(address_of(ss[D3DSAMP_ADDRESSV])));
}

void gl_device::apply_uniforms() {
    uniform_block block{};
    float w = static_cast<float>(target_w_), h = static_cast<float>(target_h_);
    float s = flip_ ? -1.0f : 1.0f;
    // D3D's clip space through the viewport into GL's clip space of the whole target; the
    // GL viewport always covers the target and the scissor keeps drawing inside D3D's.
    const D3DVIEWPORT9& vp = viewport_;
    D3DMATRIX to_gl{};
    to_gl._11 = static_cast<float>(vp.Width) / w;
    to_gl._41 = (2.0f * vp.X + vp.Width) / w - 1.0f;
    to_gl._22 = -s * static_cast<float>(vp.Height) / h;
    to_gl._42 = s * ((2.0f * vp.Y + vp.Height) / h - 1.0f);
    to_gl._33 = 2.0f * (vp.MaxZ - vp.MinZ);
    to_gl._43 = 2.0f * vp.MinZ - 1.0f;
    to_gl._44 = 1.0f;
    D3DMATRIX all = multiply(multiply(multiply(world_, view_), projection_), to_gl);
    std::memcpy(block.transform, all.m, sizeof block.transform);
    block.screen[0] = 2.0f / w;
    block.screen[1] = s * 2.0f / h;
    block.screen[2] = -1.0f;
    block.screen[3] = -s;
    float smallest = float_of(render_states_[D3DRS_POINTSIZE_MIN]);
    float largest = std::min(caps_.MaxPointSize, float_of(render_states_[D3DRS_POINTSIZE_MAX]));
    block.point[0] = smallest;
    block.point[1] = std::max(smallest, largest);
    block.point[2] = static_cast<float>(render_states_[D3DRS_ALPHAREF] & 0xFF);
    stream_upload(GL_UNIFORM_BUFFER, uniform_buffer_, &block, sizeof block);
}

void gl_device::apply_layout(GLuint buffer, UINT base_offset, UINT stride) {
    if (!(dirty_ & dirty_layout) && buffer == layout_buffer_ && base_offset == layout_offset_ &&
        stride == layout_stride_ && fvf_ == layout_fvf_)
        return;
    vertex_layout l;
    layout_of(fvf_, &l);
    gl.BindBuffer(GL_ARRAY_BUFFER, buffer);
    auto at = [base_offset](int offset) {
        return reinterpret_cast<const void*>(static_cast<uintptr_t>(base_offset) +
                                             static_cast<uintptr_t>(offset));
    };
    auto size = static_cast<GLsizei>(stride);
    gl.EnableVertexAttribArray(attr_position);
    gl.VertexAttribPointer(attr_position, l.pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE, size, at(l.position));
    if (l.diffuse >= 0) {
        gl.EnableVertexAttribArray(attr_colour);
        // D3DCOLOR is 0xAARRGGBB, bytes B, G, R, A in memory: exactly GL's BGRA attribute.
        gl.VertexAttribPointer(attr_colour, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, size, at(l.diffuse));
    } else {
        gl.DisableVertexAttribArray(attr_colour);
        gl.VertexAttrib4f(attr_colour, 1.0f, 1.0f, 1.0f, 1.0f);
    }
    if (l.texcoord >= 0) {
        gl.EnableVertexAttribArray(attr_uv);
        gl.VertexAttribPointer(attr_uv, 2, GL_FLOAT, GL_FALSE, size, at(l.texcoord));
    } else {
        gl.DisableVertexAttribArray(attr_uv);
        gl.VertexAttrib4f(attr_uv, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    if (l.psize >= 0) {
        gl.EnableVertexAttribArray(attr_psize);
        gl.VertexAttribPointer(attr_psize, 1, GL_FLOAT, GL_FALSE, size, at(l.psize));
    } else {
        // Without a size per vertex the POINTSIZE state gives it.
        gl.DisableVertexAttribArray(attr_psize);
        gl.VertexAttrib1f(attr_psize, float_of(render_states_[D3DRS_POINTSIZE]));
    }
    layout_buffer_ = buffer;
    layout_offset_ = base_offset;
    layout_stride_ = stride;
    layout_fvf_ = fvf_;
    dirty_ &= ~dirty_layout;
}

void gl_device::stream_upload(GLenum target, GLuint buffer, const void* data, size_t bytes) {
    // A fresh store each time: GL never waits for draws still reading the old one.
    gl.BindBuffer(target, buffer);
    gl.BufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STREAM_DRAW);
}

size_t gl_device::stream_append(GLenum target, stream_ring* ring, const void* data, size_t bytes,
                                size_t unit) {
    size_t at = (ring->used + unit - 1) / unit * unit;
    gl.BindBuffer(target, ring->buffer);
    if (ring->size == 0 || at + bytes > ring->size) {
        // A fresh store: draws still reading the old one keep it.
        const size_t first_size = 64 * 1024;
        ring->size = std::max({ring->size, first_size, bytes});
        gl.BufferData(target, static_cast<GLsizeiptr>(ring->size), nullptr, GL_STREAM_DRAW);
        at = 0;
    }
    gl.BufferSubData(target, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(bytes), data);
    ring->used = at + bytes;
    return at;
}

bool gl_device::prepare_draw(D3DPRIMITIVETYPE type, GLuint buffer, UINT base_offset, UINT stride) {
    // A managed texture's mip levels get GL storage only once a mip filter reads them.
    if (textures_[0] && sampler_states_[0][D3DSAMP_MIPFILTER] != D3DTEXF_NONE) textures_[0]->sample_mips();
    if (dirty_ & dirty_target) apply_target();
    if (dirty_ & dirty_scissor) apply_scissor_rect(drawing_area());
    if (dirty_ & dirty_blend) apply_blend();
    if (dirty_ & dirty_depth) apply_depth();
    if (dirty_ & dirty_cull) apply_cull();
    if (dirty_ & dirty_sampler) apply_sampler();
    if (dirty_ & dirty_uniforms) apply_uniforms();
    dirty_ &= ~(dirty_scissor | dirty_blend | dirty_depth | dirty_cull | dirty_sampler | dirty_uniforms);
    GLuint tex = textures_[0] ? textures_[0]->tex : 0;
    if (tex != bound_texture_) {
        gl.BindTexture(GL_TEXTURE_2D, tex);
        bound_texture_ = tex;
    }
    apply_layout(buffer, base_offset, stride);
    return apply_program(type);
}

// ---- 4. draw calls ------------------------------------------------------------------------

HRESULT gl_device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count) {
    vertex_layout layout;
    UINT count = primitive_vertex_count(type, primitive_count);
    if (!known_type(type) || !stream_ || stream_->locked || !layout_of(fvf_, &layout) ||
        stream_stride_ != layout.size)
        return D3DERR_INVALIDCALL;
    if (count == 0) return D3D_OK;
    if (stream_offset_ + static_cast<uint64_t>(start_vertex + count) * stream_stride_ > stream_->size)
        return D3DERR_INVALIDCALL;
    if (records_drawing()) {
        // The buffer may be filled anew before Present: the record keeps its own copy.
        record_draw(type, count,
                    stream_->data.data() + stream_offset_ +
                        static_cast<size_t>(start_vertex) * stream_stride_,
                    stream_stride_, nullptr, 0, D3DFMT_INDEX16);
        return D3D_OK;
    }
    if (target_->container) texture_changed(target_->container);
    return draw_now(type, count,
                    stream_->data.data() + stream_offset_ +
                        static_cast<size_t>(start_vertex) * stream_stride_,
                    stream_stride_, nullptr, 0, D3DFMT_INDEX16)
               ? D3D_OK
               : D3DERR_INVALIDCALL;
}

HRESULT gl_device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                                   UINT stride) {
    vertex_layout layout;
    UINT count = primitive_vertex_count(type, primitive_count);
    if (!known_type(type) || !vertices || !layout_of(fvf_, &layout) || stride != layout.size)
        return D3DERR_INVALIDCALL;
    // As in D3D, drawing from program memory leaves stream 0 unset.
    SetStreamSource(0, nullptr, 0, 0);
    if (count == 0) return D3D_OK;
    if (records_drawing()) {
        record_draw(type, count, vertices, stride, nullptr, 0, D3DFMT_INDEX16);
        return D3D_OK;
    }
    if (target_->container) texture_changed(target_->container);
    return draw_now(type, count, vertices, stride, nullptr, 0, D3DFMT_INDEX16) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT gl_device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT num_vertices,
                                          UINT primitive_count, const void* indices,
                                          D3DFORMAT_INDEX index_format, const void* vertices, UINT stride) {
    vertex_layout layout;
    UINT count = primitive_vertex_count(type, primitive_count);
    if (!known_type(type) || !vertices || !indices || !layout_of(fvf_, &layout) || stride != layout.size)
        return D3DERR_INVALIDCALL;
    if (index_format != D3DFMT_INDEX16 && index_format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0, 0);
    if (count == 0 || num_vertices == 0) return D3D_OK;
    if (records_drawing()) {
        record_draw(type, min_index + num_vertices, vertices, stride, indices, count, index_format);
        return D3D_OK;
    }
    if (target_->container) texture_changed(target_->container);
    return draw_now(type, min_index + num_vertices, vertices, stride, indices, count, index_format)
               ? D3D_OK
               : D3DERR_INVALIDCALL;
}

bool gl_device::draw_now(D3DPRIMITIVETYPE type, UINT vertex_count, const void* vertices, UINT stride,
                         const void* indices, UINT index_count, D3DFORMAT_INDEX index_format) {
    if (type == D3DPT_POINTLIST && target_->on_window())
        return draw_point_squares(vertex_count, static_cast<const BYTE*>(vertices), stride, indices,
                                  index_count, index_format);
    const size_t at = stream_append(GL_ARRAY_BUFFER, &stream_vertices_, vertices,
                                    static_cast<size_t>(vertex_count) * stride, stride);
    if (!prepare_draw(type, stream_vertices_.buffer, 0, stride)) return false;
    const auto first = static_cast<GLint>(at / stride);
    if (!indices) {
        gl.DrawArrays(mode_of(type), first, static_cast<GLsizei>(vertex_count));
        return true;
    }
    const size_t index_size = index_format == D3DFMT_INDEX16 ? 2 : 4;
    const size_t index_at = stream_append(GL_ELEMENT_ARRAY_BUFFER, &stream_indices_, indices,
                                          static_cast<size_t>(index_count) * index_size, index_size);
    gl.DrawElementsBaseVertex(mode_of(type), static_cast<GLsizei>(index_count),
                              index_format == D3DFMT_INDEX16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                              reinterpret_cast<const void*>(index_at), first);
    return true;
}

// Points drawn into the window reach GL as two triangles each. In the window's orientation the
// renderer draws some point sprites that a scissor edge cuts one row past that edge, which
// would put pixels outside the damaged rectangles of a partial redraw; triangles keep to the
// scissor. The square covers what the point would: its size clamped as the vertex shader
// clamps it (and to at least one pixel, GL's smallest point), centred on the vertex, the whole
// texture over a sprite with (0,0) at its top left, the vertex's own texture coordinate over
// a plain point. A point whose centre lies outside the target is dropped, as GL clips points.
bool gl_device::draw_point_squares(UINT vertex_count, const BYTE* vertices, UINT stride, const void* indices,
                                   UINT index_count, D3DFORMAT_INDEX index_format) {
    vertex_layout l;
    if (!layout_of(fvf_, &l)) return false;
    const float w = static_cast<float>(target_->width), h = static_cast<float>(target_->height);
    const float smallest = float_of(render_states_[D3DRS_POINTSIZE_MIN]);
    const float largest =
        std::max(smallest, std::min(caps_.MaxPointSize, float_of(render_states_[D3DRS_POINTSIZE_MAX])));
    const bool sprite = render_states_[D3DRS_POINTSPRITEENABLE] != 0;
    const D3DMATRIX m = multiply(multiply(world_, view_), projection_);
    const D3DVIEWPORT9& vp = viewport_;
    squares_.clear();
    const UINT count = indices ? index_count : vertex_count;
    for (UINT k = 0; k < count; ++k) {
        UINT i = k;
        if (indices)
            i = index_format == D3DFMT_INDEX16 ? static_cast<const uint16_t*>(indices)[k]
                                               : static_cast<const uint32_t*>(indices)[k];
        if (i >= vertex_count) continue;
        const BYTE* v = vertices + static_cast<size_t>(i) * stride;
        float pos[3];
        std::memcpy(pos, v + l.position, sizeof pos);
        float x = pos[0], y = pos[1], z = pos[2];
        if (!l.pretransformed) {
            const float cx = pos[0] * m._11 + pos[1] * m._21 + pos[2] * m._31 + m._41;
            const float cy = pos[0] * m._12 + pos[1] * m._22 + pos[2] * m._32 + m._42;
            const float cz = pos[0] * m._13 + pos[1] * m._23 + pos[2] * m._33 + m._43;
            const float cw = pos[0] * m._14 + pos[1] * m._24 + pos[2] * m._34 + m._44;
            if (!(cw > 0.0f)) continue;
            x = static_cast<float>(vp.X) + (cx / cw + 1.0f) * 0.5f * static_cast<float>(vp.Width);
            y = static_cast<float>(vp.Y) + (1.0f - cy / cw) * 0.5f * static_cast<float>(vp.Height);
            z = vp.MinZ + cz / cw * (vp.MaxZ - vp.MinZ);
        }
        if (!(x >= 0.0f && x <= w && y >= 0.0f && y <= h && z >= 0.0f && z <= 1.0f)) continue;
        float size = float_of(render_states_[D3DRS_POINTSIZE]);
        if (l.psize >= 0) std::memcpy(&size, v + l.psize, sizeof size);
        size = std::max(1.0f, std::min(std::max(size, smallest), largest));
        D3DCOLOR colour = 0xFFFFFFFFu;
        if (l.diffuse >= 0) std::memcpy(&colour, v + l.diffuse, sizeof colour);
        float uv[2] = {0.0f, 0.0f};
        if (!sprite && l.texcoord >= 0) std::memcpy(uv, v + l.texcoord, sizeof uv);
        const float x0 = x - size / 2.0f, x1 = x + size / 2.0f, y0 = y - size / 2.0f, y1 = y + size / 2.0f;
        auto corner = [&](float cx, float cy, float u, float t) {
            squares_.push_back(
                square_vertex{cx, cy, z, 1.0f, colour, sprite ? u : uv[0], sprite ? t : uv[1]});
        };
        corner(x0, y0, 0, 0), corner(x1, y0, 1, 0), corner(x0, y1, 0, 1);
        corner(x1, y0, 1, 0), corner(x1, y1, 1, 1), corner(x0, y1, 0, 1);
    }
    if (squares_.empty()) return true;
    // Drawn as pretransformed triangles that no cull mode removes; the states are put back.
    const DWORD fvf = fvf_, cull = render_states_[D3DRS_CULLMODE];
    fvf_ = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    render_states_[D3DRS_CULLMODE] = D3DCULL_NONE;
    dirty_ |= dirty_layout | dirty_cull;
    const size_t at = stream_append(GL_ARRAY_BUFFER, &stream_vertices_, squares_.data(),
                                    squares_.size() * sizeof(square_vertex), sizeof(square_vertex));
    const bool drawn = prepare_draw(D3DPT_TRIANGLELIST, stream_vertices_.buffer, 0, sizeof(square_vertex));
    if (drawn)
        gl.DrawArrays(GL_TRIANGLES, static_cast<GLint>(at / sizeof(square_vertex)),
                      static_cast<GLsizei>(squares_.size()));
    fvf_ = fvf;
    render_states_[D3DRS_CULLMODE] = cull;
    dirty_ |= dirty_layout | dirty_cull;
    return drawn;
}

} // namespace d3dgl
