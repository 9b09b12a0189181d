#pragma once

#include "support/clock.h"

namespace pm {

// The system's local time.
class SystemClock final : public Clock {
public:
    LocalTime Now() const override;
    static const SystemClock& Instance();
};

}  // namespace pm
