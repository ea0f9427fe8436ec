#pragma once
// An immutable bitmap image. Pixels are premultiplied ARGB32 in native-endian uint32 (alpha in the
// top byte), rows top to bottom, 4 × width bytes per row. Images are shared by reference
// (ImageRef) and may be read and drawn from any number of threads at once.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace cg {

class Image;
using ImageRef = std::shared_ptr<const Image>;

// Byte layout of caller buffers, named after the reference platform's alpha infos.
enum class AlphaInfo {
    premultipliedLast,  // R, G, B, A bytes, colour already multiplied by alpha
    last,               // R, G, B, A bytes, straight alpha
    noneSkipLast        // R, G, B, X bytes, opaque
};

// Pixel memory from std::malloc or std::calloc, handed over whole (a finished bitmap becomes an image
// without a copy); or, where `kept` is the buffer's size, a picture's memory from the PixelStore, which
// goes back there.
struct FreePixels {
    std::size_t kept = 0;
    bool scratch = false;  // from PixelStore::takeScratch: goes back to the scratch blocks
    void operator()(uint32_t* p) const noexcept;
};
using PixelBuffer = std::unique_ptr<uint32_t[], FreePixels>;

class Image {
public:
    // Fails (nullptr) for non-positive or huge sizes, a null buffer or too few bytes per row.
    static ImageRef make(int pixelWidth, int pixelHeight, const uint8_t* bytes, size_t bytesPerRow,
                         AlphaInfo info);
    // Takes premultiplied ARGB32 pixels; pixels.size() must be width × height.
    static ImageRef fromARGB32(int pixelWidth, int pixelHeight, std::vector<uint32_t> pixels);
    // Takes over width × height premultiplied ARGB32 pixels; fails (nullptr) for a null buffer or bad size.
    static ImageRef adopt(int pixelWidth, int pixelHeight, PixelBuffer pixels);

    int pixelWidth() const { return width_; }
    int pixelHeight() const { return height_; }
    size_t bytesPerRow() const { return static_cast<size_t>(width_) * 4; }
    const uint32_t* data() const { return data_; }
    // Premultiplied ARGB32 pixel; row 0 is the top of the picture. Out of range gives 0.
    uint32_t pixel(int x, int y) const;

    // Straight (un-premultiplied) RGBA bytes, rows top to bottom.
    std::vector<uint8_t> rgbaBytes() const;
    // PNG: RGB when fully opaque, RGBA otherwise, straight alpha. Level 0–9 (zlib); the default is
    // fast. Empty on failure.
    std::vector<uint8_t> pngData(int compressionLevel = 1) const;
    bool writePNG(const std::string& path, int compressionLevel = 1) const;
    // Reads an 8-bit PNG of any colour type (tests and tools).
    static ImageRef readPNG(const std::string& path);

    Image(int pixelWidth, int pixelHeight, std::vector<uint32_t> pixels);
    Image(int pixelWidth, int pixelHeight, PixelBuffer pixels);
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;  // one of these two holds the pixels
    PixelBuffer adopted_;
    const uint32_t* data_;
};

}  // namespace cg
