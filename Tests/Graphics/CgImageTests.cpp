// Images: creation from buffers, drawing, snapshots, PNG, and sharing across threads.

#include "CgTestSupport.h"

#include <png.h>

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace cg;
using cgtest::at;
using cgtest::bitmap;
using cgtest::up;

namespace {

// Reads a PNG back with libpng alone, as straight RGBA.
std::vector<uint8_t> readRGBA(const std::string& path, int& w, int& h) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return {};
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> out(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) return {};
    w = static_cast<int>(img.width);
    h = static_cast<int>(img.height);
    return out;
}

}  // namespace

TEST(CgImage, MakeFromRGBABuffers) {
    const uint8_t straight[] = {255, 0, 0, 128, 0, 255, 0, 255};
    auto a = Image::make(2, 1, straight, 8, AlphaInfo::last);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->pixel(0, 0), 0x80800000u);
    EXPECT_EQ(a->pixel(1, 0), 0xFF00FF00u);
    const uint8_t premul[] = {128, 0, 0, 128, 200, 0, 0, 100};  // second pixel invalid: clamped
    auto b = Image::make(2, 1, premul, 8, AlphaInfo::premultipliedLast);
    EXPECT_EQ(b->pixel(0, 0), 0x80800000u);
    EXPECT_EQ(b->pixel(1, 0), 0x64640000u);
    // Padded rows; X bytes ignored.
    const uint8_t rgbx[] = {10, 20, 30, 7, 99, 99, 99, 99, 40, 50, 60, 0, 99, 99, 99, 99};
    auto c = Image::make(1, 2, rgbx, 8, AlphaInfo::noneSkipLast);
    EXPECT_EQ(c->pixel(0, 0), 0xFF0A141Eu);
    EXPECT_EQ(c->pixel(0, 1), 0xFF28323Cu);
    EXPECT_EQ(c->pixel(1, 0), 0u);
    EXPECT_EQ(Image::make(0, 1, rgbx, 8, AlphaInfo::last), nullptr);
    EXPECT_EQ(Image::make(2, 1, rgbx, 4, AlphaInfo::last), nullptr);  // rows too short
    EXPECT_EQ(Image::make(1, 1, nullptr, 4, AlphaInfo::last), nullptr);
    EXPECT_EQ(Image::fromARGB32(2, 2, std::vector<uint32_t>(3)), nullptr);
}

TEST(CgImage, DrawsTopRowAtTheTopWithoutFadedEdges) {
    // Rows top to bottom: red, green / blue, white.
    auto img = Image::fromARGB32(2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
    auto c = bitmap(2, 2);
    c->draw(img, Rect(0, 0, 2, 2));
    EXPECT_EQ(c->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(c->pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(c->pixel(0, 1), 0xFF0000FFu);
    EXPECT_EQ(c->pixel(1, 1), 0xFFFFFFFFu);

    // Stretched 4×: edge pixels keep full strength.
    auto red = Image::fromARGB32(4, 4, std::vector<uint32_t>(16, 0xFFFF0000u));
    auto s = bitmap(16, 16);
    s->draw(red, Rect(0, 0, 16, 16));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(s->pixel(i, 0), 0xFFFF0000u) << i;
        EXPECT_EQ(s->pixel(0, i), 0xFFFF0000u) << i;
        EXPECT_EQ(s->pixel(15, i), 0xFFFF0000u) << i;
    }
    // Scaled contexts: a frame image drawn back at its point size covers the same pixels.
    auto frame = Context::makeFrame(3, 2, 2);
    frame->fill(Rect(0, 0, 1.5, 2));
    auto snap = frame->makeImage();
    auto scene = bitmap(20, 20, 2);
    scene->draw(snap, Rect(1, 1, 3, 2));
    EXPECT_EQ(up(*scene, 2, 2).a, 255);
    EXPECT_EQ(up(*scene, 4, 5).a, 255);
    EXPECT_EQ(up(*scene, 5, 2).a, 0);
    EXPECT_EQ(up(*scene, 1, 2).a, 0);

    // Global alpha applies to images.
    auto h = bitmap(4, 4);
    h->setAlpha(0.5);
    h->draw(red, Rect(0, 0, 4, 4));
    EXPECT_NEAR(at(*h, 1, 1).a, 128, 1);
    h->draw(nullptr, Rect(0, 0, 4, 4));  // no image: nothing happens
}

TEST(CgImage, SnapshotIsACopy) {
    auto c = bitmap(4, 4);
    c->fill(Rect(0, 0, 2, 2));
    auto img = c->makeImage();
    c->fill(Rect(2, 2, 2, 2));
    EXPECT_EQ(img->pixel(0, 3), 0xFF000000u);
    EXPECT_EQ(img->pixel(3, 0), 0u);
    EXPECT_EQ(c->pixel(3, 0), 0xFF000000u);
    EXPECT_EQ(img->pixelWidth(), 4);
    EXPECT_EQ(img->bytesPerRow(), 16u);
}

// An unset bitmap hands over its memory; a cleared one (Cairo's memory) gives a copy.
TEST(CgImage, TakenImageIsTheBitmapItself) {
    auto c = Context::makeUnsetBitmap(5, 3);
    ASSERT_NE(c, nullptr);
    std::memset(c->data(), 0, 5 * 3 * 4);
    c->pixelsChanged();
    c->fill(Rect(0, 0, 2, 2));
    const auto copy = c->makeImage();
    const uint8_t* memory = c->data();
    const auto taken = c->takeImage();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(static_cast<const void*>(taken->data()), static_cast<const void*>(memory));
    EXPECT_EQ(taken->pixelWidth(), 5);
    EXPECT_EQ(taken->pixelHeight(), 3);
    EXPECT_EQ(std::memcmp(taken->data(), copy->data(), 5 * 3 * 4), 0);
    EXPECT_EQ(taken->pixel(1, 2), 0xFF000000u);

    auto cleared = bitmap(5, 3);
    cleared->fill(Rect(0, 0, 2, 2));
    const auto fromCleared = cleared->takeImage();
    ASSERT_NE(fromCleared, nullptr);
    EXPECT_EQ(std::memcmp(fromCleared->data(), copy->data(), 5 * 3 * 4), 0);
}

TEST(CgImage, PngRoundTripPreservesPixels) {
    auto c = bitmap(64, 32);
    const Gradient g({Color::rgb(0xFF8000, 0.0), Color::rgb(0x2040C0, 1.0)}, {0, 1});
    c->drawLinearGradient(g, {0, 0}, {64, 0});
    c->clear(Rect(4, 4, 8, 8));
    c->setFillColor(Color::rgb(0xFF0000, 0.5));
    c->fill(Rect(4, 4, 8, 8));
    auto img = c->makeImage();
    const std::string path = (cgtest::outDir() / "cg-roundtrip.png").string();
    ASSERT_TRUE(img->writePNG(path));
    int w = 0, h = 0;
    const std::vector<uint8_t> back = readRGBA(path, w, h);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 32);
    EXPECT_EQ(back, img->rgbaBytes());
    // Half-transparent red is written straight: (255, 0, 0, 128).
    const size_t i = (static_cast<size_t>(32 - 1 - 8) * 64 + 8) * 4;
    EXPECT_EQ(back[i + 0], 255);
    EXPECT_EQ(back[i + 1], 0);
    EXPECT_EQ(back[i + 3], 128);
    // Our reader gives back the same premultiplied pixels.
    auto again = Image::readPNG(path);
    ASSERT_TRUE(again);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(again->pixel(x, y), img->pixel(x, y)) << x << "," << y;

    // Opaque images are written as RGB; bytes match the file.
    auto opaque = bitmap(8, 8);
    opaque->setFillColor(Color::rgb(0x123456));
    opaque->fill(Rect(0, 0, 8, 8));
    const auto png = opaque->makeImage()->pngData();
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[25], PNG_COLOR_TYPE_RGB);
    const std::string p2 = (cgtest::outDir() / "cg-opaque.png").string();
    ASSERT_TRUE(opaque->makeImage()->writePNG(p2));
    std::ifstream f(p2, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, png);
    const auto rgba = readRGBA(p2, w, h);
    EXPECT_EQ(rgba[0], 0x12);
    EXPECT_EQ(rgba[1], 0x34);
    EXPECT_EQ(rgba[2], 0x56);
    EXPECT_EQ(rgba[3], 255);
    EXPECT_FALSE(opaque->makeImage()->writePNG("/nonexistent-dir/x.png"));
    EXPECT_EQ(Image::readPNG("/nonexistent-dir/x.png"), nullptr);
}

namespace {

// One small scene with every kind of operation, drawn from a shared image.
ImageRef renderScene(const ImageRef& shared) {
    auto c = Context::makeFrame(64, 48, 2);
    c->setShadow({2, -2}, 3, Color::black(0.5));
    c->setFillColor(Color::rgb(0x3080FF));
    c->fillEllipse(Rect(4, 4, 30, 20));
    c->clearShadow();
    c->setAlpha(0.7);
    c->beginTransparencyLayer();
    c->draw(shared, Rect(20, 10, 30, 30));
    c->setBlendMode(BlendMode::sourceIn);
    c->drawRadialGradient(Gradient({Color::white(), Color::rgb(0x802000)}), {35, 25}, 0, {35, 25}, 15,
                          {false, true});
    c->endTransparencyLayer();
    c->setLineWidth(2);
    c->setStrokeColor(Color::rgb(0x10A020));
    const double dash[] = {3, 2};
    c->setLineDash(0, dash);
    c->strokeEllipse(Rect(10, 10, 40, 30));
    return c->makeImage();
}

}  // namespace

TEST(CgThreads, ContextsOnManyThreadsShareImagesAndAgree) {
    std::vector<uint32_t> px(32 * 32);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (i % 7 == 0) ? 0x80402010u : 0xFF00FF80u;
    const ImageRef shared = Image::fromARGB32(32, 32, std::move(px));
    const ImageRef reference = renderScene(shared);
    std::vector<ImageRef> results(8 * 4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 4; ++k) results[static_cast<size_t>(t * 4 + k)] = renderScene(shared);
        });
    }
    for (auto& th : threads) th.join();
    const size_t n = static_cast<size_t>(reference->pixelWidth() * reference->pixelHeight());
    for (const ImageRef& r : results) {
        ASSERT_TRUE(r);
        EXPECT_EQ(std::memcmp(r->data(), reference->data(), n * 4), 0);
    }
}
