// Numbers standing for pixmaps, so that HTML text can name an icon in an attribute
// (<icon handle=0x1F>) while the pixmap itself stays with the code that made it.
#pragma once

#include <QPixmap>

namespace tavrin {

// Returns a non-zero handle for the pixmap; release it when the text that names it is
// gone. Safe to call from any thread.
int RegisterIconHandle(const QPixmap& pixmap);
// The pixmap for a handle, or a null pixmap when the handle is unknown or released.
QPixmap IconForHandle(int handle);
void ReleaseIconHandle(int handle);

} // namespace tavrin
