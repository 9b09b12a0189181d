#pragma once
// The paper size of a job as the dialog shows it.

#include <cstdint>
#include <optional>
#include <string>

namespace pm {

// One paper form of the printing system: its name and size in thousandths of a millimetre.
struct PaperForm {
    std::wstring name;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The form's name when `form` (the form numbered `number`, if the list has it) agrees
// with the job's size (a size of 0 agrees with anything); else "W x L mm" when both
// sizes are known; else a single blank.
std::wstring PaperSizeTextFrom(const std::optional<PaperForm>& form, uint32_t width, uint32_t length);

}  // namespace pm
