// Product code linking the window framework reaching for the seams only tests may use.
#include "ui/qt/testing.h"
