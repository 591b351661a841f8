// The nine visual looks of the program and where the chosen one is kept.
//
// Each look is a Qt style with a palette of its own; the number of the chosen look
// is stored per user under "ApplicationLook" and read back at the next start.
#pragma once

#include <QPalette>
#include <QString>

#include <memory>

class QSettings;

namespace tavrin::app {

inline constexpr int kFirstLook = 210;
inline constexpr int kLastLook = 218;
inline constexpr int kDefaultLook = 215;

struct LookDescription {
    int id;
    const char* name;
    const char* styleName; // a Qt style key
};

// The look with this number; the default look for a number outside 210..218.
LookDescription DescribeLook(int id);
// The palette a look paints the frame, its menus and bars with.
QPalette LookPalette(int id);

// The settings store of the program (per user).
std::unique_ptr<QSettings> OpenSettings();
// The stored look, the default when nothing (or nonsense) is stored.
int LoadApplicationLook();
void SaveApplicationLook(int id);
// Sets the style and palette of the whole application.
void ApplyApplicationLook(int id);

} // namespace tavrin::app
