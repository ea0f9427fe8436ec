#pragma once
// A running subscription to a source's changes; dropping it stops the callbacks.

class SourceWatch {
public:
    SourceWatch() = default;
    SourceWatch(const SourceWatch&) = delete;
    SourceWatch& operator=(const SourceWatch&) = delete;
    virtual ~SourceWatch() = default;
};
