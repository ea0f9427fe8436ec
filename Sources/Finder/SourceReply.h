#pragma once
// What a layout source answers: the four-item reply, or why it has none.

#include <variant>

#include "Finder/FinderError.h"
#include "Finder/ReplyItem.h"

using SourceReply = std::variant<ReplyItem, FinderError>;
