#pragma once

#include "core/support/ScreenAccessProbe.h"

namespace halvex::x11 {

// Opens the display named by DISPLAY and reads one pixel of the first screen's root window.
class X11ScreenAccessProbe : public ScreenAccessProbe {
public:
    DisplayAccess probe() override;
};

}  // namespace halvex::x11
