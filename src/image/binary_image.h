// Binary firmware image files and the checks of an image against a drive.
#pragma once

#include <cstdint>

namespace kambio {

struct ImageState {
    char imageVersionText[5] = {};       // version of the normal part loaded last
    std::uint32_t imageDate = 0;         // its packed date, 0x20YYMMDD
    std::int32_t DriveClassCode = 0;     // class of the current target's kernel vendor
};

extern ImageState image;

}  // namespace kambio
