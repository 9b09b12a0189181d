#include "support/product.h"

namespace pm {

std::wstring& ProductCaption() {
    static std::wstring caption = kProductCaption;
    return caption;
}

}  // namespace pm
