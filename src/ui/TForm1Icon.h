#pragma once

#include <QIcon>

// The window's icon: one 32 x 32 image in 16 colours.
QIcon TForm1Icon();
