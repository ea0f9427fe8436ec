#pragma once
// The outcome of one layout read: a layout, or the error that kept it from being read.

#include <iosfwd>
#include <utility>
#include <variant>

#include "Finder/DeskLayout.h"
#include "Finder/FinderError.h"

class FinderResult {
public:
    FinderResult(DeskLayout layout) : value_(std::move(layout)) {}
    FinderResult(FinderError error) : value_(std::move(error)) {}

    bool ok() const { return std::holds_alternative<DeskLayout>(value_); }
    // Only when ok().
    const DeskLayout& layout() const { return std::get<DeskLayout>(value_); }
    // Only when !ok().
    const FinderError& error() const { return std::get<FinderError>(value_); }

    friend bool operator==(const FinderResult&, const FinderResult&) = default;

private:
    std::variant<DeskLayout, FinderError> value_;
};

// For test failure messages: the layout or the error.
void PrintTo(const FinderResult& result, std::ostream* os);
