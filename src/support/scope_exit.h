#pragma once
// Runs a callable when the scope ends, unless dismissed. For the rare clean-up
// that is not a handle (a handle has its Unique type).

#include <utility>

namespace pm {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) f_();
    }
    void Dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

}  // namespace pm
