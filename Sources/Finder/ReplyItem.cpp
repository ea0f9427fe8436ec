#include "Finder/ReplyItem.h"

#include <cmath>

std::optional<double> ReplyItem::finite() const {
    if (kind != Kind::number || !std::isfinite(number)) return std::nullopt;
    return number;
}
