#pragma once
// "Now" as a seam: the log and the countdown ask a Clock, tests pass a fixed one.

namespace pm {

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

struct Clock {
    virtual ~Clock() = default;
    // The local date and time now.
    virtual LocalTime Now() const = 0;
};

}  // namespace pm
