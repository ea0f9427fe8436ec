#include "Platform/Desktop/GlFrameCompositor.h"

#include "Platform/Desktop/CairoFrameCompositor.h"
#include "Platform/Desktop/ShelfPacker.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Snapshot.h"
#include "Platform/Graphics/Context.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <set>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

// GL 3.3 core rather than GLES 3.0: pictures drawn unclipped must sample transparent beyond their
// edges (clamp to a transparent border, which GLES 3.0 lacks), and cg's native-endian ARGB pixels
// upload and read back as BGRA without a conversion pass.

namespace {

bool softwareRenderer(const std::string& renderer) {
    return renderer.find("llvmpipe") != std::string::npos || renderer.find("softpipe") != std::string::npos ||
           renderer.find("swrast") != std::string::npos;
}

class X11GlTarget : public GlWindowTarget {
public:
    unsigned platform() const override { return EGL_PLATFORM_X11_KHR; }
    void* nativeDisplay() const override {
        GdkDisplay* d = gdk_display_get_default();
        return d && GDK_IS_X11_DISPLAY(d) ? gdk_x11_display_get_xdisplay(d) : nullptr;
    }
    int nativeVisual() const override {
        GdkScreen* s = gdk_screen_get_default();
        GdkVisual* v = s ? gdk_screen_get_system_visual(s) : nullptr;
        return v ? int(XVisualIDFromVisual(gdk_x11_visual_get_xvisual(v))) : 0;
    }
    void* nativeWindow(GtkWidget* realized) override {
        GdkWindow* w = gtk_widget_get_window(realized);
        if (!w || !gdk_window_ensure_native(w)) return nullptr;
        window_ = gdk_x11_window_get_xid(w);
        return &window_;
    }

private:
    Window window_ = 0;
};

constexpr int kUnits = 16;  // textures one draw call may sample (GL 3.3 offers at least 16)
// A colour-dodged draw samples one picture (two in a cross-fade) and what lies beneath.
constexpr int kDodgeUnits = 2;
// Textures kept beyond what the current frame draws are dropped above this.
constexpr uint64_t kMemoryBound = 256ull << 20;
// Pictures this small share atlas pages of this size, so that a draw call takes many of them.
constexpr int kAtlasPicture = 256;
constexpr int kPageSize = 1024;
// Clear texels around each picture on a page: linear filtering reads one texel past the edge, and
// a picture sampled up to a texel beyond it reads two.
constexpr int kGutter = 2;
// The vertex ring that stays mapped: segments of this many vertices, each reused once the GPU has
// drawn what it held a lap before. A batch never holds more than a segment.
constexpr size_t kSegmentVertices = 32768;
constexpr int kSegments = 4;

const char* kQuadVertex = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aUv;
layout(location = 2) in float aAlpha;
layout(location = 3) in float aMix;
layout(location = 4) in ivec2 aUnits;
layout(location = 5) in vec4 aEdges;
layout(location = 6) in vec4 aRectA;
layout(location = 7) in vec4 aRectB;
uniform vec4 uTarget;
out vec2 vUv;
out float vAlpha;
out float vMix;
out vec4 vEdges;
flat out ivec2 vUnits;
flat out vec4 vRectA;
flat out vec4 vRectB;
void main() {
    vEdges = aEdges;
    gl_Position = vec4((aPos - uTarget.xy) / uTarget.zw * 2.0 - 1.0, 0.0, 1.0);
    vUv = aUv;
    vAlpha = aAlpha;
    vMix = aMix;
    vUnits = aUnits;
    vRectA = aRectA;
    vRectB = aRectB;
}
)";

// Premultiplied texels times the draw's opacity; a cross-fade adds the old picture at 1 − f to the new
// at f, saturating like plus-lighter.
const char* kSampling = R"(
in vec2 vUv;
in float vAlpha;
in float vMix;
in vec4 vEdges;
flat in ivec2 vUnits;
flat in vec4 vRectA;
flat in vec4 vRectB;
// A picture at uv (0 to 1 across it), held by a texture of its own or by a place on an atlas page
// (`rect`, in the texture's coordinates), `texels` across. Past its edge it reads as transparent, as
// a texture clamped to a clear border would; a picture cut at its rect repeats its edge texels instead.
vec4 pictureAt(int i, vec4 rect, vec2 uv, bool cut) {
#if ATLAS
    vec2 texels = sizeOf(i) * rect.zw;
    if (cut) {
        uv = clamp(uv, 0.5 / texels, 1.0 - 0.5 / texels);
    } else if (any(lessThan(uv, -1.0 / texels)) || any(greaterThan(uv, 1.0 + 1.0 / texels))) {
        return vec4(0.0);
    }
    return pickAt(i, rect.xy + uv * rect.zw);
#else
    // Every picture in a texture of its own, whose border sampler reads transparent past the edge.
    if (cut) {
        vec2 texels = sizeOf(i);
        uv = clamp(uv, 0.5 / texels, 1.0 - 0.5 / texels);
    }
    return pickAt(i, uv);
#endif
}
// A picture drawn much smaller: the average of bilinear taps spread over the pixel's footprint, close
// to the area average of cg's "good" filter (which mipmaps only approximate).
vec4 pick(int unit, vec4 rect, vec2 footprint) {
    int i = unit & 255;
    bool cut = (unit & 512) != 0;
#if !BOX
    return pictureAt(i, rect, vUv, cut);
#else
    if ((unit & 256) == 0) return pictureAt(i, rect, vUv, cut);
    vec2 texels = footprint * sizeOf(i) * rect.zw;
    ivec2 n = clamp(ivec2(ceil(texels - 0.01)), ivec2(1), ivec2(8));
    vec4 sum = vec4(0.0);
    for (int y = 0; y < n.y; ++y)
        for (int x = 0; x < n.x; ++x)
            sum += pictureAt(i, rect, vUv + ((vec2(x, y) + 0.5) / vec2(n) - 0.5) * footprint, cut);
    return sum / float(n.x * n.y);
#endif
}
// The picture's texels before the draw's opacity.
vec4 sampled() {
#if BOX
    vec2 footprint = abs(dFdx(vUv)) + abs(dFdy(vUv));
#else
    vec2 footprint = vec2(0.0);
#endif
    vec4 c = pick(vUnits.x, vRectA, footprint);
    if (vMix >= 0.0) c = min(c * vMix + pick(vUnits.y, vRectB, footprint) * (1.0 - vMix), vec4(1.0));
    // A picture cut at its rect: the share of the pixel inside it (distances in device pixels from
    // the left, bottom, right and top edges, positive inside).
    vec4 e = clamp(vEdges + 0.5, 0.0, 1.0);
    return c * (max(e.x + e.z - 1.0, 0.0) * max(e.y + e.w - 1.0, 0.0));
}
vec4 source() { return sampled() * vAlpha; }
)";

// The texture lookups of a program that samples `units` textures: sampler arrays may only be
// indexed by constants in GLSL 3.30.
std::string unitLookups(int units) {
    std::string s = "uniform sampler2D uTex[" + std::to_string(units) + "];\n";
    s += "vec4 pickAt(int i, vec2 uv) {\n    switch (i) {\n";
    for (int i = 0; i + 1 < units; ++i)
        s += "    case " + std::to_string(i) + ": return texture(uTex[" + std::to_string(i) + "], uv);\n";
    s += "    default: return texture(uTex[" + std::to_string(units - 1) + "], uv);\n    }\n}\n";
    s += "vec2 sizeOf(int i) {\n    switch (i) {\n";
    for (int i = 0; i + 1 < units; ++i)
        s += "    case " + std::to_string(i) + ": return vec2(textureSize(uTex[" + std::to_string(i) + "], 0));\n";
    s += "    default: return vec2(textureSize(uTex[" + std::to_string(units - 1) + "], 0));\n    }\n}\n";
    return s;
}

const char* kQuadFragment = R"(
out vec4 oColor;
void main() { oColor = source(); }
)";

// Colour dodge in pixman's 8-bit arithmetic, which the Cairo back end uses: the dodge divides by
// (αs − s), so rounding the source as pixman does (sampled, then times the opacity) matters where
// that difference is small.
const char* kDodgeFragment = R"(
uniform sampler2D uBackdrop;
uniform ivec2 uBackdropOrigin;
out vec4 oColor;
int divOne(int t) { t += 128; return (t + (t >> 8)) >> 8; }
int blend(int d, int ad, int s, int as) {
    if (d == 0) return 0;
    if (as * d >= ad * (as - s) || as - s == 0) return ad * as;
    return as * ((d * as) / (as - s));
}
void main() {
    ivec4 s = ivec4(floor(sampled() * 255.0 + 0.5));
    int m = int(floor(vAlpha * 255.0 + 0.5));
    s = ivec4(divOne(s.r * m), divOne(s.g * m), divOne(s.b * m), divOne(s.a * m));
    ivec4 d = ivec4(floor(texelFetch(uBackdrop, ivec2(gl_FragCoord.xy) - uBackdropOrigin, 0) * 255.0 + 0.5));
    int sa = s.a, da = d.a;
    ivec4 r;
    r.a = da * 255 + sa * 255 - sa * da;
    r.r = (255 - sa) * d.r + (255 - da) * s.r + blend(d.r, da, s.r, sa);
    r.g = (255 - sa) * d.g + (255 - da) * s.g + blend(d.g, da, s.g, sa);
    r.b = (255 - sa) * d.b + (255 - da) * s.b + blend(d.b, da, s.b, sa);
    r = clamp(r, 0, 255 * 255);
    oColor = vec4(divOne(r.r), divOne(r.g), divOne(r.b), divOne(r.a)) / 255.0;
}
)";

// The finished frame onto the window, faded over black.
const char* kPresentVertex = R"(#version 330 core
out vec2 vUv;
void main() {
    vec2 p = vec2((gl_VertexID & 1) != 0 ? 1.0 : 0.0, (gl_VertexID & 2) != 0 ? 1.0 : 0.0);
    vUv = p;
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)";
const char* kPresentFragment = R"(#version 330 core
uniform sampler2D uFrame;
uniform float uAlpha;
in vec2 vUv;
out vec4 oColor;
void main() { oColor = vec4(texture(uFrame, vUv).rgb * uAlpha, 1.0); }
)";

struct Vertex {
    float x, y, u, v, alpha, mix;
    int32_t unit, fromUnit;
    float left, bottom, right, top;  // device pixels to the rect's edges, for pictures cut at it
    float rect[4], fromRect[4];      // where the pictures lie in their textures
};

struct IBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

IBox roundOut(const cg::Rect& r, const IBox& clip) {
    if (r.isNull() || r.isEmpty()) return {};
    IBox b{int(std::max<double>(clip.x0, std::floor(r.minX()))), int(std::max<double>(clip.y0, std::floor(r.minY()))),
           int(std::min<double>(clip.x1, std::ceil(r.maxX()))), int(std::min<double>(clip.y1, std::ceil(r.maxY())))};
    if (b.empty()) return {};
    return b;
}

// The length of (a, b): exact and cheap for the axis-aligned transforms of most layers.
double length(double a, double b) {
    if (b == 0) return std::fabs(a);
    if (a == 0) return std::fabs(b);
    return std::hypot(a, b);
}

// Which sampler a draw uses.
enum class Sampling { nearest, linear, box };

}  // namespace

struct GlFrameCompositor::Impl {
    struct Texture {
        GLuint id = 0;
        int width = 0, height = 0;
        uint64_t bytes = 0;
        bool clearBorder = false;  // the picture's outermost pixels are all transparent
        uint64_t lastUse = 0;
        int page = -1;  // the atlas page holding it, or none (a texture of its own)
        std::array<float, 4> rect = {0, 0, 1, 1};  // where it lies in the texture: x, y, width, height
    };
    struct Page {
        GLuint id = 0;  // none: the page is free
        ShelfPacker packer{kPageSize, kGutter};
    };
    struct Picture {
        std::weak_ptr<const cg::Image> image;
        Texture tex;
    };
    // A layer's own drawing, done by cg and uploaded.
    struct Raster {
        Texture tex;
        IBox box;
        uint64_t version = 0;
        cg::Transform toDevice;
        cg::Rect bounds;
        const cg::Image* contents = nullptr;
        const cg::Image* from = nullptr;
        bool inTransition = false;
        double progress = 0;
        bool hasPath = false;
        cg::Path path;
        double lineWidth = 0;
        bool shadow = false;
        ca::Snapshot::Shadow shadowValue;
    };
    // A still picture drawn smaller, resampled by cg once per quarter-pixel phase and size (as the
    // Cairo back end caches it): cg's area-averaging filter, which mipmaps only approximate.
    struct ResampleKey {
        const cg::Image* image;
        double width, height;
        int phaseX, phaseY;
        friend bool operator==(const ResampleKey&, const ResampleKey&) = default;
    };
    struct ResampleHash {
        size_t operator()(const ResampleKey& k) const {
            uint64_t h = reinterpret_cast<uintptr_t>(k.image);
            auto mix = [&](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
            mix(std::hash<double>{}(k.width));
            mix(std::hash<double>{}(k.height));
            mix(uint64_t(k.phaseX) << 8 | uint64_t(k.phaseY) << 16);
            return size_t(h);
        }
    };
    struct Resampled {
        std::weak_ptr<const cg::Image> image;
        Texture tex;
    };
    struct Target {
        GLuint fbo = 0, tex = 0;
        int texWidth = 0, texHeight = 0;
        IBox box;  // device pixels this target holds
    };
    struct Effect {
        double alpha = 1;
        cg::BlendMode blend = cg::BlendMode::normal;
        const ca::Snapshot::Entry* shadow = nullptr;  // the entry whose content shadow applies
        bool trivial() const { return alpha == 1 && blend == cg::BlendMode::normal && !shadow; }
    };
    struct Unit {
        GLuint tex;
        int sampler;
    };

    int width, height, scale;
    int pw, ph;  // device pixels
    std::unique_ptr<GlWindowTarget> target;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    bool robust = false;
    // Pictures, and pictures drawn much smaller (a shader that averages many taps: kept apart so that
    // the common case stays cheap on software renderers).
    GLuint quadPrograms[2] = {0, 0}, dodgeProgram = 0, presentProgram = 0;
    GLint quadTargets[2] = {-1, -1};
    bool batchBox = false;
    // Whether pictures drawn much smaller get a program of their own (a software renderer), or all
    // pictures share the one that can average (a GPU, where the other kind of draw costs nothing).
    bool splitPrograms = true;
    // Whether small pictures share atlas pages. A software renderer (only ever forced) keeps a texture
    // per picture: what binds cost it is little next to its rasterising.
    bool atlas = true;
    GLint dodgeTarget = -1, dodgeOrigin = -1, presentAlpha = -1;
    GLuint vao = 0, vbo = 0, ebo = 0, emptyVao = 0;
    GLuint samplers[3] = {0, 0, 0};  // nearest, linear, box
    GLuint backdrop = 0;
    int backdropWidth = 0, backdropHeight = 0;
    Target main;
    std::vector<Target> groupPool;  // one per nesting depth
    std::vector<Target*> targets;   // the stack being drawn into
    std::unordered_map<const cg::Image*, Picture> pictures;
    struct Recent {
        const cg::Image* image = nullptr;
        Picture* entry = nullptr;
        uint64_t epoch = 0;
    };
    std::array<Recent, 2048> recent;
    uint64_t pictureEpoch = 1;  // slots of an earlier epoch may point at erased entries
    uint64_t resampleEpoch = 1;  // the same for resampled pictures
    // What the entry at each index of the snapshot drew last frame, with copies of its textures: the
    // tree mostly draws the same pictures in the same order, and these are read in that order, where
    // the maps' entries lie anywhere (a frame would wait for memory on each of them).
    struct Seen {
        const cg::Image* image = nullptr;
        std::weak_ptr<const cg::Image> owner;
        uint64_t epoch = 0;
        Texture* entry = nullptr;  // in `pictures`, for its last use
        Texture tex;
        // The resampled copy it drew, if any.
        double width = 0, height = 0;
        int phaseX = -1, phaseY = -1;
        uint64_t resampledEpoch = 0;
        Texture* small = nullptr;
        Texture smallTex;
    };
    std::vector<Seen> seen;
    std::vector<Page> pages;
    std::unordered_map<uint64_t, Raster> rasters;
    std::unordered_map<ResampleKey, Resampled, ResampleHash> resampled;

    GtkWidget* box = nullptr;   // what the surface packs: holds the GL area, or the Cairo one after a fallback
    GtkWidget* area = nullptr;
    unsigned pendingFallback = 0;  // an idle source that hands the window to Cairo
    std::unique_ptr<CairoFrameCompositor> cairo;

    cg::Transform userToDevice;
    ca::Snapshot before, now;
    std::vector<cg::Rect> rects;  // what to redraw: nothing or the whole frame
    const ca::Snapshot* snap = nullptr;
    bool full = true;
    double alpha = -1;
    bool drawn = false;  // the frame texture holds a picture
    uint64_t frames = 0;
    Stats stats;
    FrameWork work;
    uint64_t textureBytes = 0;
    bool warnedGroupShadow = false;

    // The batch being built.
    std::vector<Vertex> vertices;
    std::vector<Unit> units;
    cg::BlendMode batchBlend = cg::BlendMode::normal;
    // One vertex buffer written front to back through a frame; given a fresh store when full.
    size_t streamCapacity = 0, streamUsed = 0;  // vertices
    // Where the driver offers it (persistent mapping), the buffer stays mapped and the vertices are
    // written straight into it: no copy by the driver and no fresh store when it fills.
    Vertex* mapped = nullptr;
    GLsync segmentDone[kSegments] = {};  // set when the writing left a segment
    int writing = -1;                    // the segment being written
    int unitLimit = kUnits;  // textures a batch may sample

    ~Impl() {
        if (pendingFallback) g_source_remove(pendingFallback);
        if (area) {
            g_signal_handlers_disconnect_by_data(area, this);
            g_object_unref(area);
        }
        releaseGl();
        if (box) g_object_unref(box);
    }

    // ---- Context ----

    bool current() {
        if (context == EGL_NO_CONTEXT) return false;
        return eglMakeCurrent(display, surface, surface, context) == EGL_TRUE;
    }

    void releaseGl() {
        if (context == EGL_NO_CONTEXT) return;
        if (current()) {
            for (auto& [k, p] : pictures)
                if (p.tex.page < 0) glDeleteTextures(1, &p.tex.id);
            for (auto& [k, r] : rasters) glDeleteTextures(1, &r.tex.id);
            for (auto& [k, r] : resampled)
                if (r.tex.page < 0) glDeleteTextures(1, &r.tex.id);
            for (Page& page : pages)
                if (page.id) glDeleteTextures(1, &page.id);
            auto drop = [](Target& t) {
                if (t.fbo) glDeleteFramebuffers(1, &t.fbo);
                if (t.tex) glDeleteTextures(1, &t.tex);
                t = {};
            };
            drop(main);
            for (Target& t : groupPool) drop(t);
            if (backdrop) glDeleteTextures(1, &backdrop);
            glDeleteSamplers(3, samplers);
            for (GLsync& f : segmentDone)
                if (f) glDeleteSync(f), f = nullptr;
            if (mapped) {
                glBindBuffer(GL_ARRAY_BUFFER, vbo);
                glUnmapBuffer(GL_ARRAY_BUFFER);
                mapped = nullptr;
            }
            glDeleteBuffers(1, &vbo);
            glDeleteBuffers(1, &ebo);
            glDeleteVertexArrays(1, &vao);
            glDeleteVertexArrays(1, &emptyVao);
            glDeleteProgram(quadPrograms[0]);
            glDeleteProgram(quadPrograms[1]);
            glDeleteProgram(dodgeProgram);
            glDeleteProgram(presentProgram);
        }
        pictures.clear();
        pictureEpoch += 1;
        resampleEpoch += 1;
        pages.clear();
        rasters.clear();
        resampled.clear();
        groupPool.clear();
        textureBytes = 0;
        stats.gpuBytes = 0;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglDestroyContext(display, context);
        surface = EGL_NO_SURFACE;
        context = EGL_NO_CONTEXT;
        // The display stays initialised: other windows' compositors share it.
    }

    static GLuint compile(GLenum kind, const std::string& source, std::string& why) {
        GLuint s = glCreateShader(kind);
        const char* text = source.c_str();
        glShaderSource(s, 1, &text, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[512] = {};
            glGetShaderInfoLog(s, sizeof log, nullptr, log);
            why = std::string("a shader did not compile: ") + log;
            for (char& c : why)
                if (c == '\n') c = ' ';
            glDeleteShader(s);
            return 0;
        }
        return s;
    }

    static GLuint link(const std::string& vertex, const std::string& fragment, std::string& why) {
        GLuint v = compile(GL_VERTEX_SHADER, vertex, why);
        if (!v) return 0;
        GLuint f = compile(GL_FRAGMENT_SHADER, fragment, why);
        if (!f) {
            glDeleteShader(v);
            return 0;
        }
        GLuint p = glCreateProgram();
        glAttachShader(p, v);
        glAttachShader(p, f);
        glLinkProgram(p);
        glDeleteShader(v);
        glDeleteShader(f);
        GLint ok = 0;
        glGetProgramiv(p, GL_LINK_STATUS, &ok);
        if (!ok) {
            why = "a shader program did not link";
            glDeleteProgram(p);
            return 0;
        }
        return p;
    }

    // The client extension rather than EGL 1.5's entry point: libepoxy cannot tell the version
    // before a display exists.
    static EGLDisplay platformDisplay(unsigned platform, void* native) {
        if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base")) return EGL_NO_DISPLAY;
        return eglGetPlatformDisplayEXT(platform, native, nullptr);
    }

    bool init(const Options& options, std::string& why, std::string& renderer) {
        const char* fail = std::getenv("VM_GL_FAIL");
        const std::string forced = fail ? fail : "";
        void* native = target->nativeDisplay();
        display = forced == "display" || !native ? EGL_NO_DISPLAY
                                                 : platformDisplay(target->platform(), native);
        if (display == EGL_NO_DISPLAY) {
            why = "no EGL display";
            return false;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            why = "EGL did not initialise";
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            why = "EGL offers no desktop OpenGL";
            return false;
        }
        const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
        EGLint count = 0;
        eglChooseConfig(display, attributes, nullptr, 0, &count);
        std::vector<EGLConfig> configs(size_t(std::max(count, 0)));
        if (count > 0) eglChooseConfig(display, attributes, configs.data(), count, &count);
        const int visual = target->nativeVisual();
        for (EGLConfig c : configs) {
            EGLint id = 0;
            eglGetConfigAttrib(display, c, EGL_NATIVE_VISUAL_ID, &id);
            if (!config || (visual && id == visual)) config = c;
            if (visual && id == visual) break;
        }
        if (!config) {
            why = "no EGL configuration for a window";
            return false;
        }
        robust = epoxy_has_egl_extension(display, "EGL_EXT_create_context_robustness");
        std::vector<EGLint> ctx = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT};
        if (robust) {
            ctx.push_back(EGL_CONTEXT_OPENGL_RESET_NOTIFICATION_STRATEGY_EXT);
            ctx.push_back(EGL_LOSE_CONTEXT_ON_RESET_EXT);
        }
        ctx.push_back(EGL_NONE);
        context = forced == "context" ? EGL_NO_CONTEXT : eglCreateContext(display, config, EGL_NO_CONTEXT, ctx.data());
        if (context == EGL_NO_CONTEXT && robust && forced != "context") {
            robust = false;
            ctx.resize(6);
            ctx.push_back(EGL_NONE);
            context = eglCreateContext(display, config, EGL_NO_CONTEXT, ctx.data());
        }
        if (context == EGL_NO_CONTEXT) {
            why = "no OpenGL 3.3 core context";
            return false;
        }
        // Until the window exists the frames are drawn without a surface.
        if (!current()) {
            why = "the context cannot be made current without a window";
            return false;
        }
        if (const char* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = r;
        // A software renderer compiles a shader variant for every mix of sampler states a draw binds:
        // with sixteen units the mixes never end. Two (a cross-fade's) keep them few.
        if (softwareRenderer(renderer)) unitLimit = 2;
        atlas = options.atlas == Options::Atlas::byRenderer ? !softwareRenderer(renderer)
                                                            : options.atlas == Options::Atlas::on;
        splitPrograms = options.programs == Options::Programs::byRenderer ? softwareRenderer(renderer)
                                                                          : options.programs == Options::Programs::split;
        const std::string header = std::string("#version 330 core\n#define ATLAS ") + (atlas ? "1" : "0") + "\n";
        const std::string broken = options.breakShader ? "this is not GLSL;\n" : "";
        for (int box = 0; box < 2; ++box) {
            const std::string define = "#define BOX " + std::to_string(box) + "\n";
            quadPrograms[box] =
                link(kQuadVertex, header + define + unitLookups(unitLimit) + kSampling + broken + kQuadFragment, why);
            if (!quadPrograms[box]) return false;
        }
        dodgeProgram =
            link(kQuadVertex, header + "#define BOX 1\n" + unitLookups(kDodgeUnits) + kSampling + kDodgeFragment, why);
        if (!dodgeProgram) return false;
        presentProgram = link(kPresentVertex, kPresentFragment, why);
        if (!presentProgram) return false;
        for (GLuint p : {quadPrograms[0], quadPrograms[1], dodgeProgram}) {
            glUseProgram(p);
            for (int i = 0; i < (p == dodgeProgram ? kDodgeUnits : unitLimit); ++i)
                glUniform1i(glGetUniformLocation(p, ("uTex[" + std::to_string(i) + "]").c_str()), i);
        }
        for (int box = 0; box < 2; ++box) quadTargets[box] = glGetUniformLocation(quadPrograms[box], "uTarget");
        dodgeTarget = glGetUniformLocation(dodgeProgram, "uTarget");
        dodgeOrigin = glGetUniformLocation(dodgeProgram, "uBackdropOrigin");
        glUseProgram(dodgeProgram);
        glUniform1i(glGetUniformLocation(dodgeProgram, "uBackdrop"), kDodgeUnits);
        glUseProgram(presentProgram);
        glUniform1i(glGetUniformLocation(presentProgram, "uFrame"), 0);
        presentAlpha = glGetUniformLocation(presentProgram, "uAlpha");

        glGenVertexArrays(1, &vao);
        glGenVertexArrays(1, &emptyVao);
        glGenBuffers(1, &vbo);
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        if (options.mapVertices && epoxy_has_gl_extension("GL_ARB_buffer_storage")) {
            const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
            const auto bytes = GLsizeiptr(kSegmentVertices * kSegments * sizeof(Vertex));
            glBufferStorage(GL_ARRAY_BUFFER, bytes, nullptr, flags);
            mapped = static_cast<Vertex*>(glMapBufferRange(GL_ARRAY_BUFFER, 0, bytes, flags));
            if (mapped) streamCapacity = kSegmentVertices * kSegments;
        }
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                              reinterpret_cast<void*>(offsetof(Vertex, alpha)));
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, mix)));
        glEnableVertexAttribArray(4);
        glVertexAttribIPointer(4, 2, GL_INT, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, unit)));
        glEnableVertexAttribArray(5);
        glVertexAttribPointer(5, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, left)));
        glEnableVertexAttribArray(6);
        glVertexAttribPointer(6, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, rect)));
        glEnableVertexAttribArray(7);
        glVertexAttribPointer(7, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                              reinterpret_cast<void*>(offsetof(Vertex, fromRect)));
        // Quads as four vertices each, and the two triangles of every quad a batch can hold once here
        // (the vertex array keeps it): a third less to write per picture than six vertices.
        {
            std::vector<uint16_t> indices;
            indices.reserve(kSegmentVertices / 4 * 6);
            for (uint32_t q = 0; q < kSegmentVertices / 4; ++q)
                for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(uint16_t(4 * q + k));
            glGenBuffers(1, &ebo);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint16_t)), indices.data(),
                         GL_STATIC_DRAW);
        }

        glGenSamplers(3, samplers);
        const float clear[4] = {0, 0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            const GLuint s = samplers[i];
            // Beyond a texture's edge it samples as transparent (the shaders cut pictures at their
            // rects themselves, atlas pages being larger than their pictures).
            const GLint wrap = GL_CLAMP_TO_BORDER;
            glSamplerParameteri(s, GL_TEXTURE_WRAP_S, wrap);
            glSamplerParameteri(s, GL_TEXTURE_WRAP_T, wrap);
            glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, clear);
            const int kind = i % 3;
            const GLint mag = kind == int(Sampling::nearest) ? GL_NEAREST : GL_LINEAR;
            const GLint min = kind == int(Sampling::nearest) ? GL_NEAREST : GL_LINEAR;
            glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, mag);
            glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, min);
        }
        if (!makeTarget(main, pw, ph)) {
            why = "no framebuffer of the window's size";
            return false;
        }
        main.box = {0, 0, pw, ph};
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        if (glGetError() != GL_NO_ERROR) {
            why = "the GL setup reported an error";
            return false;
        }
        return true;
    }

    bool makeTarget(Target& t, int w, int h) {
        forget();
        if (!t.tex) glGenTextures(1, &t.tex);
        glBindTexture(GL_TEXTURE_2D, t.tex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        textureBytes -= uint64_t(t.texWidth) * uint64_t(t.texHeight) * 4;
        t.texWidth = w;
        t.texHeight = h;
        textureBytes += uint64_t(w) * uint64_t(h) * 4;
        if (!t.fbo) glGenFramebuffers(1, &t.fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.tex, 0);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    // ---- Widget ----

    void makeWidget() {
        box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        g_object_ref_sink(box);
        area = gtk_drawing_area_new();
        g_object_ref_sink(area);
        gtk_widget_set_size_request(area, width, height);
        // GL draws the window: GTK must not paint it first.
        gtk_widget_set_app_paintable(area, TRUE);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_widget_set_double_buffered(area, FALSE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
        g_signal_connect(area, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer self) {
                             static_cast<Impl*>(self)->realized(w);
                         }),
                         this);
        g_signal_connect(area, "unrealize", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                             auto* s = static_cast<Impl*>(self);
                             if (s->context != EGL_NO_CONTEXT && s->surface != EGL_NO_SURFACE) {
                                 eglMakeCurrent(s->display, EGL_NO_SURFACE, EGL_NO_SURFACE, s->context);
                                 eglDestroySurface(s->display, s->surface);
                                 s->surface = EGL_NO_SURFACE;
                             }
                         }),
                         this);
        g_signal_connect(area, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer self) -> gboolean {
                             auto* s = static_cast<Impl*>(self);
                             if (s->drawn && !s->cairo) s->present();
                             return TRUE;
                         }),
                         this);
    }

    void realized(GtkWidget* w) {
        if (context == EGL_NO_CONTEXT || surface != EGL_NO_SURFACE) return;
        void* native = target->nativeWindow(w);
        if (native) surface = eglCreatePlatformWindowSurfaceEXT(display, config, native, nullptr);
        if (surface == EGL_NO_SURFACE || !current()) {
            // Not while GTK realizes the widget that the fallback removes.
            if (!pendingFallback)
                pendingFallback = g_idle_add(+[](gpointer self) -> gboolean {
                    auto* s = static_cast<Impl*>(self);
                    s->pendingFallback = 0;
                    s->fallBack("the window takes no GL surface");
                    return G_SOURCE_REMOVE;
                }, this);
            return;
        }
        // Frames follow the display where the driver offers it; the surface's timer still paces them.
        eglSwapInterval(display, 1);
    }

    void fallBack(const char* why) {
        if (cairo) return;
        std::fprintf(stderr, "vistamere: compositing with Cairo from now on: %s\n", why);
        releaseGl();
        cairo = std::make_unique<CairoFrameCompositor>(width, height, scale);
        const bool realized = area && gtk_widget_get_realized(area);
        if (area) {
            g_signal_handlers_disconnect_by_data(area, this);
            gtk_container_remove(GTK_CONTAINER(box), area);
            g_object_unref(area);
            area = nullptr;
        }
        gtk_box_pack_start(GTK_BOX(box), cairo->widget(), TRUE, TRUE, 0);
        if (realized) gtk_widget_show(cairo->widget());
    }

    bool lost() {
        if (!robust) return false;
        return glGetGraphicsResetStatus() != GL_NO_ERROR;
    }

    // ---- Textures ----

    Texture upload(const uint32_t* pixels, int w, int h, GLuint reuse = 0, int oldW = 0, int oldH = 0) {
        forget();
        work.uploads += 1;
        Texture t;
        t.width = w;
        t.height = h;
        if (reuse && oldW == w && oldH == h) {
            t.id = reuse;
            glBindTexture(GL_TEXTURE_2D, t.id);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
        } else {
            if (reuse) glDeleteTextures(1, &reuse);
            textureBytes -= uint64_t(oldW) * uint64_t(oldH) * 4;
            glGenTextures(1, &t.id);
            glBindTexture(GL_TEXTURE_2D, t.id);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            textureBytes += uint64_t(w) * uint64_t(h) * 4;
        }
        t.bytes = uint64_t(w) * uint64_t(h) * 4;
        return t;
    }

    // A small picture goes to an atlas page with room for it (a new page when none has), a larger one
    // to a texture of its own.
    Texture uploadShared(const uint32_t* pixels, int w, int h) {
        if (!atlas || w > kAtlasPicture || h > kAtlasPicture) return upload(pixels, w, h);
        size_t p = 0;
        std::optional<ShelfPacker::Place> at;
        for (; p < pages.size() && !at; ++p)
            if (pages[p].id) at = pages[p].packer.place(w, h);
        if (at) {
            p -= 1;
        } else {
            p = 0;
            while (p < pages.size() && pages[p].id) ++p;
            if (p == pages.size()) pages.emplace_back();
            Page& page = pages[p];
            page.packer = ShelfPacker(kPageSize, kGutter);
            at = page.packer.place(w, h);
            forget();
            glGenTextures(1, &page.id);
            glBindTexture(GL_TEXTURE_2D, page.id);
            // Cleared once: the gutters stay clear, as places are not reused until the page is empty.
            const std::vector<uint32_t> clear(size_t(kPageSize) * kPageSize, 0);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kPageSize, kPageSize, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         clear.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            textureBytes += uint64_t(kPageSize) * kPageSize * 4;
        }
        Page& page = pages[p];
        forget();
        work.uploads += 1;
        glBindTexture(GL_TEXTURE_2D, page.id);
        glTexSubImage2D(GL_TEXTURE_2D, 0, at->x, at->y, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
        Texture t;
        t.id = page.id;
        t.width = w;
        t.height = h;
        t.page = int(p);
        const float size = float(kPageSize);
        t.rect = {float(at->x) / size, float(at->y) / size, float(w) / size, float(h) / size};
        return t;
    }

    // Whether `kept` was taken from `image` (or a copy of it), without reading the shared count: the
    // count lives beside the picture, a cache line a frame need not read. While `kept` exists its
    // control block cannot be reused, so a live picture with the same one is the same picture.
    static bool sameOwner(const std::weak_ptr<const cg::Image>& kept, const cg::ImageRef& image) {
        return !kept.owner_before(image) && !image.owner_before(kept);
    }

    Texture& picture(const cg::ImageRef& image) {
        // Most pictures were drawn last frame: a slot by address remembers where their entry is
        // (entries stay put until erased, which starts a new epoch).
        Recent& slot = recent[(reinterpret_cast<uintptr_t>(image.get()) >> 4) % recent.size()];
        if (slot.image == image.get() && slot.epoch == pictureEpoch && sameOwner(slot.entry->image, image)) {
            slot.entry->tex.lastUse = frames;
            return slot.entry->tex;
        }
        auto it = pictures.find(image.get());
        // An entry at its address taken from another picture (an earlier one, since freed) is stale.
        if (it != pictures.end() && !sameOwner(it->second.image, image)) {
            dropTexture(it->second.tex);
            pictures.erase(it);
            pictureEpoch += 1;
            it = pictures.end();
        }
        if (it == pictures.end()) {
            Picture p{image, uploadShared(image->data(), image->pixelWidth(), image->pixelHeight())};
            const int w = image->pixelWidth(), h = image->pixelHeight();
            const uint32_t* px = image->data();
            uint32_t any = 0;
            for (int x = 0; x < w; ++x) any |= px[x] | px[size_t(h - 1) * size_t(w) + size_t(x)];
            for (int y = 0; y < h; ++y) any |= px[size_t(y) * size_t(w)] | px[size_t(y) * size_t(w) + size_t(w - 1)];
            p.tex.clearBorder = any == 0;
            it = pictures.emplace(image.get(), std::move(p)).first;
        }
        it->second.tex.lastUse = frames;
        slot = {image.get(), &it->second, pictureEpoch};
        return it->second.tex;
    }

    void dropTexture(Texture& t) {
        if (t.page >= 0) {
            Page& page = pages[size_t(t.page)];
            page.packer.release();
            if (page.packer.pictures() == 0 && page.id) {
                glDeleteTextures(1, &page.id);
                page.id = 0;
                textureBytes -= uint64_t(kPageSize) * kPageSize * 4;
            }
        } else if (t.id) {
            glDeleteTextures(1, &t.id);
        }
        textureBytes -= t.bytes;
        t = {};
    }

    // Textures of pictures and layers the tree has not drawn for a few seconds.
    void evict(uint64_t unused = 90) {
        for (auto it = pictures.begin(); it != pictures.end();) {
            if (it->second.tex.lastUse + unused >= frames && !it->second.image.expired()) {
                ++it;
                continue;
            }
            dropTexture(it->second.tex);
            it = pictures.erase(it);
            pictureEpoch += 1;
        }
        for (auto it = resampled.begin(); it != resampled.end();) {
            if (it->second.tex.lastUse + unused >= frames && !it->second.image.expired()) {
                ++it;
                continue;
            }
            dropTexture(it->second.tex);
            it = resampled.erase(it);
            resampleEpoch += 1;
        }
        for (auto it = rasters.begin(); it != rasters.end();) {
            if (it->second.tex.lastUse + unused >= frames) {
                ++it;
                continue;
            }
            dropTexture(it->second.tex);
            it = rasters.erase(it);
        }
    }

    // ---- Batches ----

    // What the batches last bound, so that the next binds only what changed (a driver pays for every
    // call even when it draws nothing new). Anything else that binds forgets it.
    struct Bound {
        GLuint tex[kUnits];
        int sampler[kUnits];
        GLuint fbo;
        int program;
        int blend;
    } bound;
    void forget() {
        std::fill(std::begin(bound.tex), std::end(bound.tex), GLuint(-1));
        std::fill(std::begin(bound.sampler), std::end(bound.sampler), -1);
        bound.fbo = GLuint(-1);
        bound.program = -1;
        bound.blend = -1;
    }

    void flush() {
        if (vertices.empty()) return;
        Target& t = *targets.back();
        if (bound.fbo != t.fbo) {
            glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
            glViewport(0, 0, t.box.width(), t.box.height());
            bound.fbo = t.fbo;
            bound.program = -1;  // the target's uniform changes with it
        }
        if (bound.program != int(batchBox)) {
            glUseProgram(quadPrograms[batchBox]);
            glUniform4f(quadTargets[batchBox], float(t.box.x0), float(t.box.y0), float(t.box.width()),
                        float(t.box.height()));
            bound.program = int(batchBox);
        }
        const int blend = batchBlend == cg::BlendMode::plusLighter ? 1 : 0;
        if (bound.blend != blend) {
            glEnable(GL_BLEND);
            if (blend) {
                glBlendFunc(GL_ONE, GL_ONE);
            } else {
                glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
            }
            bound.blend = blend;
        }
        for (size_t i = 0; i < units.size(); ++i) {
            if (bound.tex[i] != units[i].tex) {
                glActiveTexture(GLenum(GL_TEXTURE0 + i));
                glBindTexture(GL_TEXTURE_2D, units[i].tex);
                bound.tex[i] = units[i].tex;
                work.binds += 1;
            }
            if (bound.sampler[i] != units[i].sampler) {
                glBindSampler(GLuint(i), samplers[units[i].sampler]);
                bound.sampler[i] = units[i].sampler;
            }
        }
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        drawQuads();
        work.draws += 1;
        vertices.clear();
        units.clear();
    }

    // The batch's quads, four vertices each, from the buffer (bound).
    void drawQuads() {
        const GLsizei count = GLsizei(vertices.size() / 4 * 6);
        glDrawElementsBaseVertex(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, nullptr, stream());
    }

    // Puts the batch's vertices in the buffer (bound), and returns the first one's index.
    GLint stream() {
        if (mapped) return streamMapped();
        if (streamUsed + vertices.size() > streamCapacity) {
            streamCapacity = std::max<size_t>({streamCapacity, vertices.size(), 16384});
            glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(streamCapacity * sizeof(Vertex)), nullptr, GL_STREAM_DRAW);
            streamUsed = 0;
        }
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(streamUsed * sizeof(Vertex)), GLsizeiptr(vertices.size() * sizeof(Vertex)),
                        vertices.data());
        const GLint first = GLint(streamUsed);
        streamUsed += vertices.size();
        return first;
    }

    GLint streamMapped() {
        const size_t n = vertices.size();  // at most a segment (see draw)
        size_t at = streamUsed;
        if (at == streamCapacity) {
            at = 0;
        } else if (at % kSegmentVertices + n > kSegmentVertices) {
            at = (at / kSegmentVertices + 1) % kSegments * kSegmentVertices;
        }
        const int next = int(at / kSegmentVertices);
        if (next != writing) {
            // Leaving a segment: the GPU is done with it once it passes this point. Entering one: wait
            // until it is done with what the segment held a lap ago (long since, at 30 frames a second).
            if (writing >= 0) segmentDone[writing] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            if (GLsync& f = segmentDone[next]) {
                glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(1e9));
                glDeleteSync(f);
                f = nullptr;
            }
            writing = next;
        }
        std::memcpy(mapped + at, vertices.data(), n * sizeof(Vertex));
        streamUsed = at + n;
        return GLint(at);
    }

    int unitFor(GLuint tex, int sampler) {
        for (size_t i = 0; i < units.size(); ++i)
            if (units[i].tex == tex && units[i].sampler == sampler) return int(i);
        units.push_back({tex, sampler});
        return int(units.size()) - 1;
    }

    // A quad: the bounds-space rectangle `r` mapped by `m` to device pixels, sampling `tex` over
    // [u0, u1] × [v0, v1] (v0 at r's top), widened by a device pixel so that the filter's fringe beyond
    // the edges is drawn.
    struct Quad {
        cg::Transform m;
        cg::Rect r;
        float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
        GLuint tex = 0;
        std::array<float, 4> rect = {0, 0, 1, 1};  // where the picture lies in tex
        Sampling sampling = Sampling::linear;
        GLuint fromTex = 0;  // a cross-fade from this texture (same placement)
        std::array<float, 4> fromRect = {0, 0, 1, 1};
        double mix = -1;
        double alpha = 1;
        bool widen = true;
        bool cut = false;  // clipped at r (antialiased), sampling the edge texels up to it
    };

    void draw(const Quad& q, cg::BlendMode blend) {
        if (q.alpha <= 0 && blend != cg::BlendMode::colorDodge) return;
        const bool dodge = blend == cg::BlendMode::colorDodge;
        const cg::BlendMode mode = blend == cg::BlendMode::plusLighter ? blend : cg::BlendMode::normal;
        const size_t need = (q.fromTex ? 2 : 1);
        const bool box = q.sampling == Sampling::box || !splitPrograms;
        if (dodge || mode != batchBlend || box != batchBox || units.size() + need > size_t(unitLimit) ||
            vertices.size() + 4 > kSegmentVertices)
            flush();
        batchBlend = mode;
        batchBox = box;
        const int sampler = int(q.sampling);
        const int flag = (q.sampling == Sampling::box ? 256 : 0) | (q.cut ? 512 : 0);
        const int a = unitFor(q.tex, sampler) | flag;
        const int b = (q.fromTex ? unitFor(q.fromTex, sampler) : a) | flag;
        double sx = 0, sy = 0;
        double mx = 0, my = 0;
        cg::Rect r = q.r;
        if (q.widen) {
            sx = length(q.m.a, q.m.b), sy = length(q.m.c, q.m.d);
            if (sx > 0 && sy > 0) {
                mx = r.width() > 0 ? 1.0 / sx : 0;
                my = r.height() > 0 ? 1.0 / sy : 0;
            }
        }
        const double du = r.width() > 0 ? (q.u1 - q.u0) / r.width() : 0;
        const double dv = r.height() > 0 ? (q.v1 - q.v0) / r.height() : 0;
        const std::array<float, 4>& from = q.fromTex ? q.fromRect : q.rect;
        auto corner = [&](double x, double y) {
            const cg::Point p = q.m.apply(cg::Point{x, y});
            // v runs down from the top edge.
            const float far = 1e6f;
            return Vertex{float(p.x), float(p.y), float(q.u0 + (x - r.minX()) * du),
                          float(q.v0 + (r.maxY() - y) * dv), float(std::clamp(q.alpha, 0.0, 1.0)), float(q.mix), a, b,
                          q.cut ? float((x - r.minX()) * sx) : far, q.cut ? float((y - r.minY()) * sy) : far,
                          q.cut ? float((r.maxX() - x) * sx) : far, q.cut ? float((r.maxY() - y) * sy) : far,
                          {q.rect[0], q.rect[1], q.rect[2], q.rect[3]}, {from[0], from[1], from[2], from[3]}};
        };
        const double x0 = r.minX() - mx, x1 = r.maxX() + mx, y0 = r.minY() - my, y1 = r.maxY() + my;
        const Vertex v00 = corner(x0, y0), v10 = corner(x1, y0), v01 = corner(x0, y1), v11 = corner(x1, y1);
        vertices.insert(vertices.end(), {v00, v10, v11, v01});
        work.quads += 1;
        if (dodge) drawDodge(v00, v10, v01, v11);
    }

    // Colour dodge reads what lies beneath: a copy of the covered pixels, then one draw that writes the
    // whole result.
    void drawDodge(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d) {
        forget();
        Target& t = *targets.back();
        const double xs[] = {a.x, b.x, c.x, d.x}, ys[] = {a.y, b.y, c.y, d.y};
        const cg::Rect cover(*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4),
                             *std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4),
                             *std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4));
        const IBox box = roundOut(cover, t.box);
        if (box.empty()) {
            vertices.clear();
            units.clear();
            return;
        }
        if (backdropWidth < box.width() || backdropHeight < box.height()) {
            if (!backdrop) glGenTextures(1, &backdrop);
            textureBytes -= uint64_t(backdropWidth) * uint64_t(backdropHeight) * 4;
            backdropWidth = std::max(backdropWidth, (box.width() + 255) / 256 * 256);
            backdropHeight = std::max(backdropHeight, (box.height() + 255) / 256 * 256);
            textureBytes += uint64_t(backdropWidth) * uint64_t(backdropHeight) * 4;
            glBindTexture(GL_TEXTURE_2D, backdrop);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, backdropWidth, backdropHeight, 0, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
        glActiveTexture(GL_TEXTURE0 + kDodgeUnits);
        glBindTexture(GL_TEXTURE_2D, backdrop);
        glBindSampler(kDodgeUnits, 0);
        const int lx = box.x0 - t.box.x0, ly = box.y0 - t.box.y0;
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, lx, ly, box.width(), box.height());
        glViewport(0, 0, t.box.width(), t.box.height());
        glUseProgram(dodgeProgram);
        glUniform4f(dodgeTarget, float(t.box.x0), float(t.box.y0), float(t.box.width()), float(t.box.height()));
        glUniform2i(dodgeOrigin, lx, ly);
        glDisable(GL_BLEND);
        glEnable(GL_SCISSOR_TEST);
        glScissor(lx, ly, box.width(), box.height());
        for (size_t i = 0; i < units.size(); ++i) {
            glActiveTexture(GLenum(GL_TEXTURE0 + i));
            glBindTexture(GL_TEXTURE_2D, units[i].tex);
            glBindSampler(GLuint(i), samplers[units[i].sampler]);
        }
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        drawQuads();
        work.draws += 1;
        work.binds += units.size() + 1;
        glDisable(GL_SCISSOR_TEST);
        vertices.clear();
        units.clear();
    }

    // ---- The tree ----

    void beginGroup(const cg::Rect& bounds) {
        flush();
        forget();
        const size_t depth = targets.size() - 1;
        if (groupPool.size() <= depth) groupPool.resize(depth + 1);
        Target& g = groupPool[depth];
        const IBox box = roundOut(bounds, main.box);
        if (g.texWidth < box.width() || g.texHeight < box.height()) {
            // Grown in steps, never past the frame.
            makeTarget(g, std::min(pw, std::max(g.texWidth, (box.width() + 255) / 256 * 256)),
                       std::min(ph, std::max(g.texHeight, (box.height() + 255) / 256 * 256)));
        }
        g.box = box;
        glBindFramebuffer(GL_FRAMEBUFFER, g.fbo);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, std::max(box.width(), 1), std::max(box.height(), 1));
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        targets.push_back(&g);
    }

    void endGroup(const Effect& effect) {
        flush();
        forget();
        Target& g = *targets.back();
        targets.pop_back();
        if (g.box.empty()) return;
        if (effect.shadow && !warnedGroupShadow) {
            warnedGroupShadow = true;
            std::fprintf(stderr, "vistamere: GL draws no shadow of a group of layers\n");
        }
        Quad q;
        q.m = cg::Transform::identity();
        q.r = cg::Rect(g.box.x0, g.box.y0, g.box.width(), g.box.height());
        q.u0 = 0;
        q.u1 = float(g.box.width()) / float(g.texWidth);
        // The group's rows start at the bottom: its top edge is at v = height / texHeight.
        q.v0 = float(g.box.height()) / float(g.texHeight);
        q.v1 = 0;
        q.tex = g.tex;
        q.sampling = Sampling::nearest;
        q.alpha = effect.alpha;
        q.widen = false;
        draw(q, effect.blend);
    }

    void drawLayer(size_t i, const Effect& outer) {
        const ca::Snapshot::Entry& e = snap->entries()[i];
        if (!e.visible || e.subtreeOps == 0) return;
        if (roundOut(e.subtreeBounds, main.box).empty()) return;
        const Effect own{e.alpha, e.blend, e.contentShadow ? &e : nullptr};
        if (outer.trivial()) {
            if (own.trivial()) {
                drawContents(i, {});
            } else if (e.subtreeOps == 1) {
                drawContents(i, own);
            } else {
                beginGroup(e.subtreeBounds);
                drawContents(i, {});
                endGroup(own);
            }
            return;
        }
        if (own.shadow && outer.shadow) {
            beginGroup(e.subtreeBounds);
            drawLayer(i, {});
            endGroup(outer);
            return;
        }
        drawContents(i, {outer.alpha * own.alpha, outer.blend, outer.shadow ? outer.shadow : own.shadow});
    }

    void drawContents(size_t i, const Effect& effect) {
        const auto entries = snap->entries();
        const ca::Snapshot::Entry& e = entries[i];
        if (e.ownOps > 0 && !roundOut(e.ownBounds, main.box).empty()) drawOwn(i, e, effect);
        const Effect inherited = e.ownOps == 0 ? effect : Effect{};
        for (size_t j = i + 1; j < e.end; j = entries[j].end) drawLayer(j, inherited);
    }

    // How a picture drawn by m at `size` device pixels from `image` samples.
    Sampling samplingFor(cg::ImageFilter filter, const cg::Transform& m, const cg::Rect& r, Texture& tex) {
        if (filter == cg::ImageFilter::nearest) return Sampling::nearest;
        const double sx = length(m.a, m.b) * r.width() / tex.width;
        const double sy = length(m.c, m.d) * r.height() / tex.height;
        // Drawn much smaller: an average over the covered texels, as the "good" filter takes.
        if (filter == cg::ImageFilter::good && (sx < 0.75 || sy < 0.75)) return Sampling::box;
        return Sampling::linear;
    }

    // Sampling as cg's unclipped drawing does: a picture drawn larger than its pixels whose edge is not
    // clear is cut at its rect with the "good" filter instead.
    void unclipped(Quad& q, cg::ImageFilter filter, Texture& tex) {
        const double sx = length(q.m.a, q.m.b) * q.r.width() / tex.width;
        const double sy = length(q.m.c, q.m.d) * q.r.height() / tex.height;
        if ((sx > 1.01 || sy > 1.01) && !tex.clearBorder) {
            q.cut = true;
            filter = cg::ImageFilter::good;
        }
        q.sampling = samplingFor(filter, q.m, q.r, tex);
    }

    // The entry's picture, from what it drew last frame when that is still it.
    Texture& pictureOf(size_t index, const cg::ImageRef& image) {
        if (seen.size() <= index) seen.resize(snap->entries().size());
        Seen& s = seen[index];
        if (s.image == image.get() && s.epoch == pictureEpoch && sameOwner(s.owner, image)) {
            s.entry->lastUse = frames;  // a store: it need not wait for the line
            return s.tex;
        }
        Texture& tex = picture(image);
        s.image = image.get();
        s.owner = image;
        s.epoch = pictureEpoch;
        s.entry = &tex;
        s.tex = tex;
        s.small = nullptr;
        return s.tex;
    }

    // resample() for the entry whose picture pictureOf() just gave.
    Texture* resampledOf(size_t index, const cg::ImageRef& image, double w, double h, int qx, int qy) {
        Seen& s = seen[index];
        if (s.small && s.resampledEpoch == resampleEpoch && s.width == w && s.height == h && s.phaseX == qx &&
            s.phaseY == qy) {
            s.small->lastUse = frames;
            return &s.smallTex;
        }
        Texture* small = resample(image, w, h, qx, qy);
        s.small = small;
        if (!small) return nullptr;
        s.smallTex = *small;
        s.width = w;
        s.height = h;
        s.phaseX = qx;
        s.phaseY = qy;
        s.resampledEpoch = resampleEpoch;
        return &s.smallTex;
    }

    void drawOwn(size_t index, const ca::Snapshot::Entry& e, const Effect& effect) {
        // Read from the entry, not the layer: the walk that filled it left the layers out of the caches.
        const ca::Presentation& p = e.pres;
        const bool fill = !p.bounds.isEmpty() && e.filled;
        const bool pictureOnly = e.kind == ca::Layer::Kind::plain && !e.pathShadow && !fill && !effect.shadow;
        if (!pictureOnly) {
            drawRaster(e, effect);
            return;
        }
        if (p.bounds.isEmpty()) return;
        const cg::ImageFilter filter = e.contentsFilter;
        Quad q;
        q.m = e.toDevice;
        q.r = p.bounds;
        q.alpha = effect.alpha;
        if (p.inTransition && p.transitionFrom) {
            Texture& from = picture(p.transitionFrom);
            q.fromTex = from.id;
            q.fromRect = from.rect;
            q.mix = p.transitionProgress;
            if (p.contents) {
                Texture& to = picture(p.contents);
                q.tex = to.id;
                q.rect = to.rect;
                unclipped(q, filter, to);
            } else {
                // Only the old picture, fading out.
                q.tex = from.id;
                q.rect = from.rect;
                q.fromTex = 0;
                q.mix = -1;
                q.alpha *= 1 - p.transitionProgress;
                unclipped(q, filter, from);
            }
            draw(q, effect.blend);
            return;
        }
        if (!p.contents) return;
        Texture& tex = pictureOf(index, p.contents);
        q.tex = tex.id;
        q.rect = tex.rect;
        if (p.inTransition) {
            q.alpha *= p.transitionProgress;
            unclipped(q, filter, tex);
            draw(q, effect.blend);
            return;
        }
        const cg::Transform& d = e.toDevice;
        if (!e.rigid || d.b != 0 || d.c != 0 || !(d.a > 0) || !(d.d > 0)) {
            unclipped(q, filter, tex);
            draw(q, effect.blend);
            return;
        }
        // A still picture goes to the nearest quarter pixel, like the Cairo back end's resampled copies.
        const cg::Rect r = p.bounds.applying(d);
        const double x0 = r.minX(), y0 = r.minY();
        const double w = p.bounds.width() * d.a, h = p.bounds.height() * d.d;
        if (!std::isfinite(x0) || !std::isfinite(y0) || std::fabs(x0) > 1e8 || std::fabs(y0) > 1e8) return;
        double ix = std::floor(x0), iy = std::floor(y0);
        int qx = int(std::lround((x0 - ix) * 4)), qy = int(std::lround((y0 - iy) * 4));
        if (qx == 4) qx = 0, ix += 1;
        if (qy == 4) qy = 0, iy += 1;
        q.m = cg::Transform::identity();
        q.r = cg::Rect(ix + qx / 4.0, iy + qy / 4.0, w, h);
        if (qx == 0 && qy == 0 && w == tex.width && h == tex.height) {
            q.sampling = Sampling::nearest;
            q.widen = false;
        } else if (filter == cg::ImageFilter::good && (w < 0.75 * tex.width || h < 0.75 * tex.height)) {
            Texture* small = resampledOf(index, p.contents, w, h, qx, qy);
            if (!small) return;
            q.r = cg::Rect(ix, iy, small->width, small->height);
            q.tex = small->id;
            q.rect = small->rect;
            q.sampling = Sampling::nearest;
            q.widen = false;
        } else {
            unclipped(q, filter, tex);
        }
        draw(q, effect.blend);
    }

    // cg's bitmap as a texture, its top row first as with pictures (no copy: rows are read at the
    // bitmap's stride). `shared`: on an atlas page where it fits.
    Texture uploadBitmap(const cg::Context& bitmap, GLuint reuse = 0, int oldW = 0, int oldH = 0, bool shared = false) {
        const int w = bitmap.pixelWidth(), h = bitmap.pixelHeight();
        const auto* pixels = reinterpret_cast<const uint32_t*>(bitmap.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(bitmap.bytesPerRow() / 4));
        Texture t = shared ? uploadShared(pixels, w, h) : upload(pixels, w, h, reuse, oldW, oldH);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return t;
    }

    Texture* resample(const cg::ImageRef& image, double w, double h, int qx, int qy) {
        const ResampleKey key{image.get(), w, h, qx, qy};
        auto it = resampled.find(key);
        if (it != resampled.end() && !sameOwner(it->second.image, image)) {  // as in picture()
            dropTexture(it->second.tex);
            resampled.erase(it);
            resampleEpoch += 1;
            it = resampled.end();
        }
        if (it == resampled.end()) {
            const double fx = qx / 4.0, fy = qy / 4.0;
            auto bitmap = cg::Context::makeBitmap(int(std::ceil(fx + w)) + 1, int(std::ceil(fy + h)) + 1);
            if (!bitmap) return nullptr;
            bitmap->drawUnclipped(*image, cg::Rect(fx, fy, w, h), cg::ImageFilter::good);
            it = resampled.emplace(key, Resampled{image, uploadBitmap(*bitmap, 0, 0, 0, true)}).first;
        }
        it->second.tex.lastUse = frames;
        return &it->second.tex;
    }

    // The layer's own operations drawn by cg, as the Cairo back end draws them, with the content shadow
    // when the effect has one; opacity and blend mode are applied when the bitmap is composited.
    void drawRaster(const ca::Snapshot::Entry& e, const Effect& effect) {
        cg::Rect extent = e.ownBounds;
        if (effect.shadow) extent = extent.unionWith(effect.shadow->shadowBounds);
        const IBox box = roundOut(extent, main.box);
        if (box.empty()) return;
        Raster& r = rasters[e.id];
        const ca::Presentation& p = e.pres;
        const bool shadow = effect.shadow != nullptr;
        const bool same = r.tex.id && r.box.x0 == box.x0 && r.box.y0 == box.y0 && r.box.x1 == box.x1 &&
                          r.box.y1 == box.y1 && r.version == e.version && r.toDevice == e.toDevice &&
                          r.bounds == p.bounds && r.contents == p.contents.get() &&
                          r.from == p.transitionFrom.get() && r.inTransition == p.inTransition &&
                          r.progress == p.transitionProgress && r.hasPath == p.hasPath && r.path == p.path &&
                          r.lineWidth == p.lineWidth && r.shadow == shadow &&
                          (!shadow || r.shadowValue == effect.shadow->shadow);
        if (!same) {
            auto bitmap = cg::Context::makeBitmap(box.width(), box.height());
            if (!bitmap) return;
            bitmap->concatenateCTM(userToDevice.concatenating(cg::Transform::translation(-box.x0, -box.y0)));
            if (shadow) {
                const auto& s = effect.shadow->shadow;
                bitmap->setShadow(s.offset, s.blur, s.color);
            }
            ca::drawOwnOperations(*bitmap, e);
            work.rasters += 1;
            r.tex = uploadBitmap(*bitmap, r.tex.id, r.tex.width, r.tex.height);
            r.box = box;
            r.version = e.version;
            r.toDevice = e.toDevice;
            r.bounds = p.bounds;
            r.contents = p.contents.get();
            r.from = p.transitionFrom.get();
            r.inTransition = p.inTransition;
            r.progress = p.transitionProgress;
            r.hasPath = p.hasPath;
            r.path = p.path;
            r.lineWidth = p.lineWidth;
            r.shadow = shadow;
            if (shadow) r.shadowValue = effect.shadow->shadow;
        }
        r.tex.lastUse = frames;
        Quad q;
        q.m = cg::Transform::identity();
        q.r = cg::Rect(box.x0, box.y0, box.width(), box.height());
        q.u0 = 0;
        q.u1 = 1;
        q.tex = r.tex.id;
        q.sampling = Sampling::nearest;
        q.alpha = effect.alpha;
        q.widen = false;
        draw(q, effect.blend);
    }

    void render() {
        frames += 1;
        work = {};
        forget();
        targets.assign(1, &main);
        glBindFramebuffer(GL_FRAMEBUFFER, main.fbo);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (!snap->entries().empty()) drawLayer(0, {});
        flush();
        drawn = true;
        if (frames % 30 == 0) evict();
        // Over the bound: keep only what this frame drew.
        if (textureBytes > kMemoryBound) evict(0);
        stats.gpuBytes = textureBytes;
    }

    void present() {
        if (surface == EGL_NO_SURFACE || !current()) return;
        forget();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, pw, ph);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        glUseProgram(presentProgram);
        glUniform1f(presentAlpha, float(std::clamp(alpha, 0.0, 1.0)));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, main.tex);
        glBindSampler(0, samplers[0]);
        glBindVertexArray(emptyVao);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        if (!eglSwapBuffers(display, surface) && eglGetError() == EGL_CONTEXT_LOST) fallBack("the GL context was lost");
    }

    // Whether anything on screen differs between two snapshots. The whole frame is redrawn either
    // way, so this stops at the first difference instead of collecting damage.
    static bool changed(const ca::Snapshot& before, const ca::Snapshot& after, const cg::Rect& viewport) {
        const auto a = before.entries(), b = after.entries();
        auto shows = [&](const ca::Snapshot::Entry& e) {
            return e.visible && !e.ownBounds.isNull() && e.ownBounds.intersects(viewport);
        };
        const size_t n = std::max(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            if (i >= a.size() || i >= b.size() || a[i].id != b[i].id) {
                if ((i < a.size() && shows(a[i])) || (i < b.size() && shows(b[i]))) return true;
                continue;
            }
            const ca::Snapshot::Entry &x = a[i], &y = b[i];
            if (!x.visible && !y.visible) continue;
            const ca::Presentation &p = x.pres, &q = y.pres;
            const bool same =
                x.visible == y.visible && x.version == y.version && x.toDevice == y.toDevice && x.alpha == y.alpha &&
                x.outerAlpha == y.outerAlpha && x.outerFilter == y.outerFilter && x.rigid == y.rigid &&
                p.contents == q.contents && p.inTransition == q.inTransition &&
                (!p.inTransition || (p.transitionFrom == q.transitionFrom && p.transitionProgress == q.transitionProgress)) &&
                (x.kind != ca::Layer::Kind::shape ||
                 (p.lineWidth == q.lineWidth && p.hasPath == q.hasPath && p.path == q.path));
            if (!same && (shows(x) || shows(y))) return true;
        }
        return false;
    }

    bool update(const ca::Layer& root, double t, double a) {
        if (cairo) return cairo->update(root, t, a);
        const auto start = std::chrono::steady_clock::now();
        stats.updates += 1;
        now.capture(root, t, userToDevice);
        stats.replays += now.replayed();
        const cg::Rect viewport(0, 0, pw, ph);
        if (full || !drawn) {
            rects.assign(1, viewport);
        } else {
            rects.clear();
            if (changed(before, now, viewport)) rects.push_back(viewport);
        }
        full = false;
        std::swap(before, now);
        auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
        stats.treeSeconds += seconds();
        const bool fading = a != alpha;
        alpha = a;
        if (rects.empty() && !fading) {
            stats.seconds += seconds();
            return false;
        }
        if (!current() || lost()) {
            fallBack("the GL context was lost");
            stats.seconds += seconds();
            full = true;
            return cairo->update(root, t, a);
        }
        if (!rects.empty()) {
            snap = &before;
            render();
            snap = nullptr;
            stats.pixels += uint64_t(pw) * uint64_t(ph);
        }
        stats.frames += 1;
        present();
        stats.seconds += seconds();
        return true;
    }

    cg::ImageRef frame() {
        if (cairo) return cairo->frame();
        if (!current()) return nullptr;
        std::vector<uint32_t> up(size_t(pw) * size_t(ph));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, main.fbo);
        glReadPixels(0, 0, pw, ph, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, up.data());
        std::vector<uint32_t> down(up.size());
        for (int y = 0; y < ph; ++y)
            std::memcpy(&down[size_t(ph - 1 - y) * size_t(pw)], &up[size_t(y) * size_t(pw)], size_t(pw) * 4);
        return cg::Image::fromARGB32(pw, ph, std::move(down));
    }
};

GlFrameCompositor::GlFrameCompositor(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GlFrameCompositor::~GlFrameCompositor() = default;

std::unique_ptr<GlFrameCompositor> GlFrameCompositor::create(int width, int height, int scale,
                                                             std::unique_ptr<GlWindowTarget> target,
                                                             const Options& options, std::string& why,
                                                             std::string& renderer) {
    auto impl = std::make_unique<Impl>();
    impl->width = std::max(width, 1);
    impl->height = std::max(height, 1);
    impl->scale = std::max(scale, 1);
    impl->pw = impl->width * impl->scale;
    impl->ph = impl->height * impl->scale;
    impl->target = std::move(target);
    if (!impl->target || !impl->init(options, why, renderer)) {
        if (why.empty()) why = "no window target";
        return nullptr;
    }
    if (auto probe = cg::Context::makeBitmap(1, 1, impl->scale)) impl->userToDevice = probe->ctm();
    // Slow movers redraw only every few frames, as with the Cairo back end (and the same pixels).
    impl->before.setMotionTolerance(CairoFrameCompositor::kMotionTolerance);
    impl->now.setMotionTolerance(CairoFrameCompositor::kMotionTolerance);
    impl->makeWidget();
    return std::unique_ptr<GlFrameCompositor>(new GlFrameCompositor(std::move(impl)));
}

_GtkWidget* GlFrameCompositor::widget() { return impl_->box; }
bool GlFrameCompositor::update(const ca::Layer& root, double t, double alpha) { return impl_->update(root, t, alpha); }
void GlFrameCompositor::invalidate() {
    if (impl_->cairo) impl_->cairo->invalidate();
    impl_->full = true;
}
cg::ImageRef GlFrameCompositor::frame() const { return impl_->frame(); }
const ca::Snapshot* GlFrameCompositor::lastSnapshot() const {
    return impl_->cairo ? impl_->cairo->lastSnapshot() : &impl_->before;  // update swaps the new one in there
}
const FrameCompositor::Stats& GlFrameCompositor::stats() const {
    return impl_->cairo ? impl_->cairo->stats() : impl_->stats;
}
const GlFrameCompositor::FrameWork& GlFrameCompositor::frameWork() const { return impl_->work; }
bool GlFrameCompositor::fellBack() const { return impl_->cairo != nullptr; }
void GlFrameCompositor::loseContextForTesting() { impl_->fallBack("the GL context was lost"); }

std::unique_ptr<GlWindowTarget> makeX11GlTarget() { return std::make_unique<X11GlTarget>(); }

std::unique_ptr<FrameCompositor> makeFrameCompositor(int width, int height, int scale) {
    // One line per distinct choice and size: several monitors alike say it once.
    static std::set<std::string> told;
    auto say = [&](const std::string& what) {
        const std::string line = "vistamere: " + std::to_string(width) + " x " + std::to_string(height) + " desktop " + what;
        if (told.insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
    };
    const char* env = std::getenv("VM_COMPOSITOR");
    const std::string choice = env ? env : "";
    if (choice == "cairo") {
        say("composited with Cairo (VM_COMPOSITOR=cairo)");
        return std::make_unique<CairoFrameCompositor>(width, height, scale);
    }
    const char* fail = std::getenv("VM_GL_FAIL");
    GlFrameCompositor::Options options;
    options.breakShader = fail && std::string(fail) == "shader";
    std::string why, renderer;
    auto gl = GlFrameCompositor::create(width, height, scale, makeX11GlTarget(), options, why, renderer);
    if (!gl) {
        say("composited with Cairo: " + why);
        return std::make_unique<CairoFrameCompositor>(width, height, scale);
    }
    const bool software = softwareRenderer(renderer);
    if (choice == "gl") {
        say("composited with OpenGL on " + renderer + " (VM_COMPOSITOR=gl)");
        return gl;
    }
    if (software) {
        say("composited with Cairo: the OpenGL renderer " + renderer + " is a software rasteriser");
        return std::make_unique<CairoFrameCompositor>(width, height, scale);
    }
    say("composited with OpenGL on " + renderer);
    return gl;
}
