#include "common/error.h"

namespace vokri {

const char* error_name(Error e) noexcept {
    switch (e) {
        case Error::None:
            return "None";
#define VOKRI_ERROR_NAME(name, code) \
    case Error::name:                \
        return #name;
            VOKRI_ERROR_LIST(VOKRI_ERROR_NAME)
#undef VOKRI_ERROR_NAME
    }
    return "Unexpected";
}

}  // namespace vokri
