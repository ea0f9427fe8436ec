#pragma once
// A timing function: the cubic Bézier from (0, 0) to (1, 1) with two control points, mapping the
// fraction of elapsed time to the fraction of progress. The named ones are the reference
// platform's: linear (0,0,1,1), easeIn (0.42,0,1,1), easeOut (0,0,0.58,1), easeInEaseOut
// (0.42,0,0.58,1) and default (0.25,0.1,0.25,1).

namespace ca {

class TimingFunction {
public:
    enum class Name { linear, easeIn, easeOut, easeInEaseOut, defaultCurve };

    // Linear.
    constexpr TimingFunction() = default;
    // Control points (x1, y1) and (x2, y2); x1 and x2 are clamped to [0, 1].
    TimingFunction(double x1, double y1, double x2, double y2);
    static TimingFunction named(Name name);

    // Progress at time fraction x in [0, 1] (outside it, x is clamped).
    double operator()(double x) const;

    double x1() const { return x1_; }
    double y1() const { return y1_; }
    double x2() const { return x2_; }
    double y2() const { return y2_; }
    bool isLinear() const { return x1_ == y1_ && x2_ == y2_; }

    friend bool operator==(const TimingFunction&, const TimingFunction&) = default;

private:
    double x1_ = 0, y1_ = 0, x2_ = 1, y2_ = 1;
};

}  // namespace ca
