#pragma once
// One item of an icon manager's reply, and the reply itself: a list of four items (the icon positions,
// each a list of x and y; the icon size; the text size; the label position as text). Items can be missing,
// as a manager may leave any of them out.

#include <optional>
#include <string>
#include <vector>

struct ReplyItem {
    enum class Kind { missing, number, text, list };

    Kind kind = Kind::missing;
    double number = 0;
    std::string text;
    std::vector<ReplyItem> items;

    static ReplyItem none() { return {}; }
    static ReplyItem of(double v) { ReplyItem r; r.kind = Kind::number; r.number = v; return r; }
    static ReplyItem of(std::string v) { ReplyItem r; r.kind = Kind::text; r.text = std::move(v); return r; }
    static ReplyItem of(std::vector<ReplyItem> v) { ReplyItem r; r.kind = Kind::list; r.items = std::move(v); return r; }
    static ReplyItem point(double x, double y) { return of(std::vector<ReplyItem>{of(x), of(y)}); }

    bool isMissing() const { return kind == Kind::missing; }
    // The item's number when it is one and finite; anything else reads as missing.
    std::optional<double> finite() const;
    // The number of sub-items: 0 for anything that is not a list.
    size_t count() const { return kind == Kind::list ? items.size() : 0; }
};
