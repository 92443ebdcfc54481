// The program's icon and the logo of the main dialog, drawn in code so that the program needs
// no image files at run time (the installed icon, desktop/docsalve.svg, is the same drawing).
#pragma once

#include <QIcon>
#include <QPixmap>

// The application icon in the sizes a desktop asks for.
QIcon AppIcon();

// The icon drawn at `size` × `size` pixels.
QPixmap AppIconPixmap(int size);

// The logo strip under the details: 99 × 13 pixels.
QPixmap LogoBitmap();

constexpr int kLogoWidth = 99;
constexpr int kLogoHeight = 13;
