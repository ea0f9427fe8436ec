#pragma once
// Scoped drawing state: the graphics state or a transparency layer opened on construction and closed on
// every way out of the scope, so a painter can never leave a save or a layer unbalanced.

#include "Platform/Graphics/Context.h"

namespace cg {

class SavedState {
public:
    explicit SavedState(Context& ctx) : ctx_(ctx) { ctx_.saveGState(); }
    explicit SavedState(Context* ctx) : SavedState(*ctx) {}
    ~SavedState() { ctx_.restoreGState(); }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    Context& ctx_;
};

class TransparencyLayer {
public:
    explicit TransparencyLayer(Context& ctx) : ctx_(ctx) { ctx_.beginTransparencyLayer(); }
    explicit TransparencyLayer(Context* ctx) : TransparencyLayer(*ctx) {}
    ~TransparencyLayer() { ctx_.endTransparencyLayer(); }
    TransparencyLayer(const TransparencyLayer&) = delete;
    TransparencyLayer& operator=(const TransparencyLayer&) = delete;

private:
    Context& ctx_;
};

}  // namespace cg
