#pragma once
// The value an animation carries: a number, a point, a picture or a path. Numbers, points and
// paths interpolate; pictures switch (their identity is kept: a presented picture is the same
// shared handle that was animated).

#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Path.h"

#include <memory>
#include <type_traits>

namespace ca {

using PathRef = std::shared_ptr<const cg::Path>;

class Value {
public:
    enum class Type { none, number, point, image, path };

    Value() = default;
    template <class T, std::enable_if_t<std::is_arithmetic_v<T>, int> = 0>
    Value(T v) : type_(Type::number), number_(static_cast<double>(v)) {}  // NOLINT: implicit on purpose
    Value(cg::Point p) : type_(Type::point), point_(p) {}
    Value(cg::ImageRef image) : type_(Type::image), image_(std::move(image)) {}
    Value(const cg::Path& path) : type_(Type::path), path_(std::make_shared<const cg::Path>(path)) {}
    Value(PathRef path) : type_(path ? Type::path : Type::none), path_(std::move(path)) {}

    Type type() const { return type_; }
    bool isNone() const { return type_ == Type::none; }
    double number() const { return number_; }
    cg::Point point() const { return point_; }
    const cg::ImageRef& image() const { return image_; }
    const PathRef& path() const { return path_; }

    // Same type and same value; pictures compare by identity, paths by their elements.
    friend bool operator==(const Value& a, const Value& b);

private:
    Type type_ = Type::none;
    double number_ = 0;
    cg::Point point_;
    cg::ImageRef image_;
    PathRef path_;
};

}  // namespace ca
