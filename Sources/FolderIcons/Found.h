#pragma once
// The outcome of a read that distinguishes "not there" from "could not look". Only the first is an answer:
// a read that failed says nothing about what the folder carries, so a folder read that way is left alone.

#include "FolderIcons/Error.h"

#include <optional>
#include <utility>

namespace FolderIcons {

template <class T>
struct Found {
    std::optional<T> value;     // the thing itself; empty with no error means it is not there
    std::optional<Error> error; // set when the read failed

    static Found present(T v) { return {std::move(v), std::nullopt}; }
    static Found absent() { return {}; }
    static Found failed(Error e) { return {std::nullopt, std::move(e)}; }

    bool failedToRead() const { return error.has_value(); }
};

}  // namespace FolderIcons
