#include "Platform/Graphics/Image.h"

#include "Platform/Graphics/PixelStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace cg {

void FreePixels::operator()(uint32_t* p) const noexcept {
    if (kept && scratch) PixelStore::giveBackScratch(p, kept);
    else if (kept) PixelStore::giveBack(p, kept);
    else std::free(p);
}

namespace {

constexpr int kMaxSide = 32767;

inline uint8_t unpremultiply(uint32_t c, uint32_t a) {
    if (a == 0) return 0;
    const uint32_t v = (c * 255 + a / 2) / a;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

inline uint32_t premultiply(uint32_t c, uint32_t a) {
    // Exact rounding of c·a/255.
    const uint32_t t = c * a + 128;
    return (t + (t >> 8)) >> 8;
}

// Straight RGB(A) rows for libpng.
void unpremultiplyRow(const uint32_t* src, int width, bool withAlpha, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        const uint32_t p = src[x];
        const uint32_t a = p >> 24;
        const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (a == 255) {
            out[0] = static_cast<uint8_t>(r); out[1] = static_cast<uint8_t>(g); out[2] = static_cast<uint8_t>(b);
        } else {
            out[0] = unpremultiply(r, a); out[1] = unpremultiply(g, a); out[2] = unpremultiply(b, a);
        }
        if (withAlpha) {
            out[3] = static_cast<uint8_t>(a);
            out += 4;
        } else {
            out += 3;
        }
    }
}

struct PngSink {
    FILE* file = nullptr;
    std::vector<uint8_t>* buffer = nullptr;
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (sink->file) {
        if (std::fwrite(data, 1, length, sink->file) != length) png_error(png, "write failed");
    } else {
        sink->buffer->insert(sink->buffer->end(), data, data + length);
    }
}

void pngFlush(png_structp png) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (sink->file) std::fflush(sink->file);
}

// Kept free of objects with destructors: libpng reports errors by longjmp.
bool encode(PngSink* sink, int width, int height, bool withAlpha, int level, png_bytepp rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, pngWrite, pngFlush);
    png_set_compression_level(png, level);
    // Sub filtering costs little and keeps fast deflate levels reasonably small.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encodeImage(const Image& image, PngSink* sink, int level) {
    const int w = image.pixelWidth(), h = image.pixelHeight();
    bool opaque = true;
    const uint32_t* px = image.data();
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < count && opaque; ++i) opaque = (px[i] >> 24) == 0xFF;
    const bool withAlpha = !opaque;
    const size_t rowBytes = static_cast<size_t>(w) * (withAlpha ? 4 : 3);
    std::vector<uint8_t> bytes(rowBytes * static_cast<size_t>(h));
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bytes.data() + rowBytes * static_cast<size_t>(y);
        unpremultiplyRow(px + static_cast<size_t>(w) * static_cast<size_t>(y), w, withAlpha, row);
        rows[static_cast<size_t>(y)] = row;
    }
    return encode(sink, w, h, withAlpha, std::clamp(level, 0, 9), rows.data());
}

}  // namespace

Image::Image(int pixelWidth, int pixelHeight, std::vector<uint32_t> pixels)
    : width_(pixelWidth), height_(pixelHeight), pixels_(std::move(pixels)), data_(pixels_.data()) {}

Image::Image(int pixelWidth, int pixelHeight, PixelBuffer pixels)
    : width_(pixelWidth), height_(pixelHeight), adopted_(std::move(pixels)), data_(adopted_.get()) {}

ImageRef Image::fromARGB32(int w, int h, std::vector<uint32_t> pixels) {
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return nullptr;
    if (pixels.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) return nullptr;
    return std::make_shared<const Image>(w, h, std::move(pixels));
}

ImageRef Image::adopt(int w, int h, PixelBuffer pixels) {
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || !pixels) return nullptr;
    return std::make_shared<const Image>(w, h, std::move(pixels));
}

ImageRef Image::make(int w, int h, const uint8_t* bytes, size_t bytesPerRow, AlphaInfo info) {
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || !bytes) return nullptr;
    if (bytesPerRow < static_cast<size_t>(w) * 4) return nullptr;
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = bytes + bytesPerRow * static_cast<size_t>(y);
        uint32_t* d = px.data() + static_cast<size_t>(w) * static_cast<size_t>(y);
        for (int x = 0; x < w; ++x, s += 4) {
            uint32_t r = s[0], g = s[1], b = s[2], a = s[3];
            switch (info) {
                case AlphaInfo::premultipliedLast:
                    // Keep the pixel valid: no channel may exceed its alpha.
                    r = std::min(r, a); g = std::min(g, a); b = std::min(b, a);
                    break;
                case AlphaInfo::last:
                    r = premultiply(r, a); g = premultiply(g, a); b = premultiply(b, a);
                    break;
                case AlphaInfo::noneSkipLast:
                    a = 255;
                    break;
            }
            d[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return std::make_shared<const Image>(w, h, std::move(px));
}

uint32_t Image::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return data_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

std::vector<uint8_t> Image::rgbaBytes() const {
    std::vector<uint8_t> out(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4);
    for (int y = 0; y < height_; ++y) {
        unpremultiplyRow(data_ + static_cast<size_t>(y) * static_cast<size_t>(width_), width_, true,
                         out.data() + static_cast<size_t>(y) * static_cast<size_t>(width_) * 4);
    }
    return out;
}

std::vector<uint8_t> Image::pngData(int compressionLevel) const {
    std::vector<uint8_t> out;
    PngSink sink;
    sink.buffer = &out;
    if (!encodeImage(*this, &sink, compressionLevel)) out.clear();
    return out;
}

bool Image::writePNG(const std::string& path, int compressionLevel) const {
    const std::vector<uint8_t> bytes = pngData(compressionLevel);
    if (bytes.empty()) {
        errno = 0;
        return false;
    }
    // No waiting for a reader on a FIFO; a device such as /dev/full is written to, never removed.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    int err = 0;
    size_t done = 0;
    while (err == 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n == 0) err = EIO;
        else if (errno != EINTR) err = errno;
    }
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    if (err != 0) {
        if (regular) ::unlink(path.c_str());  // no half picture left behind
        errno = err;  // the write's reason, not the clean-up's
        return false;
    }
    return true;
}

ImageRef Image::readPNG(const std::string& path) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return nullptr;
    img.format = PNG_FORMAT_RGBA;
    if (img.width == 0 || img.height == 0 || img.width > kMaxSide || img.height > kMaxSide) {
        png_image_free(&img);
        return nullptr;
    }
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, bytes.data(), 0, nullptr)) {
        png_image_free(&img);
        return nullptr;
    }
    const int w = static_cast<int>(img.width), h = static_cast<int>(img.height);
    return make(w, h, bytes.data(), static_cast<size_t>(w) * 4, AlphaInfo::last);
}

}  // namespace cg
