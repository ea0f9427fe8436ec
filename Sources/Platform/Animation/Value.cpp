#include "Platform/Animation/Value.h"

namespace ca {

bool operator==(const Value& a, const Value& b) {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
        case Value::Type::none: return true;
        case Value::Type::number: return a.number_ == b.number_;
        case Value::Type::point: return a.point_ == b.point_;
        case Value::Type::image: return a.image_ == b.image_;
        case Value::Type::path: return a.path_ == b.path_ || (a.path_ && b.path_ && *a.path_ == *b.path_);
    }
    return false;
}

}  // namespace ca
