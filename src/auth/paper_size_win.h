#pragma once

#include <cstdint>
#include <string>

namespace pm {

// The paper size text of a job, with the local print server's list of forms: number
// is 1-based in that list (0: not known); width and length in tenths of a millimetre.
std::wstring PaperSizeText(uint32_t number, uint32_t width, uint32_t length);

}  // namespace pm
