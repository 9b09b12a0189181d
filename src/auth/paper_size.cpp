#include "auth/paper_size.h"

namespace pm {

std::wstring PaperSizeTextFrom(const std::optional<PaperForm>& form, uint32_t width, uint32_t length) {
    if (form) {
        // Forms are in thousandths of a millimetre, the job in tenths.
        const uint32_t formWidth = form->width / 100, formLength = form->height / 100;
        if ((formWidth == width || width == 0) && (formLength == length || length == 0)) return form->name;
    }
    if (width != 0 && length != 0) return std::to_wstring(width / 10) + L" x " + std::to_wstring(length / 10) + L" mm";
    return L" ";
}

}  // namespace pm
