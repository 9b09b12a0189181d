#pragma once
// The request record a print server writes to a client's pipe to ask for a job's
// authentication, for tests and benchmarks: a whole job of this computer's print
// server, every row of the dialog filled. Callers change the fields their case is
// about and encode it with EncodeRequest.

#include <cstdint>

#include "pipes/request_record.h"
#include "support/clock_win.h"
#include "support/day_count.h"

namespace pm::test {

// Now, as the print server stamps a job: a day count of local time.
inline double DayCountNow() {
    return DayCountFromDateTime(SystemClock::Instance().Now()).value_or(0);
}

inline RequestRecord JobRequest(uint8_t mode = AuthNone, double submitted = DayCountNow(), uint32_t id = 7) {
    RequestRecord r;
    r.ServerComputer = L".";
    r.PrinterName = L"Laser";
    r.DocumentName = L"Report.docx";
    r.Pages = 3;
    r.Copies = 2;
    r.Cost = 1500;
    r.PaperWidth = 2100;
    r.PaperLength = 2970;
    r.AuthMode = mode;
    r.JobId = id;
    r.Submitted = submitted;
    return r;
}

}  // namespace pm::test
