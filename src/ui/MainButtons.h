// The main window's nine image buttons and which skin images they show.
#pragma once

#include <array>
#include <utility>

#include "gps/GpsRules.h"
#include "ui/KbcButton.h"
#include "ui/SkinImages.h"

namespace tamsel {

struct MainButtons {
    CKbcButton close, setup, capture, del, left, right, mode, thumb, gps;
};

// Each button with the id of its control in the main window's template.
std::array<std::pair<int, CKbcButton*>, 9> MainButtonControls(MainButtons& buttons);

// The faces of close, setup, capture, delete, the arrows and the mode switch
// for live preview (1) or picture review (2), repainted. A button that does
// nothing in a mode shows its normal face when pressed.
void ApplyModeFaces(MainButtons& buttons, const CSkinImages& skin, int mode);

// The GPS indicator's image as both faces; Keep leaves it. No repaint.
void SetGpsFace(MainButtons& buttons, const CSkinImages& skin, GpsImage image);

// Every button without faces: done before the images they borrow are freed.
void ClearFaces(MainButtons& buttons);

} // namespace tamsel
