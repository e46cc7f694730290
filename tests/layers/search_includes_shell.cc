// A feature reaching sideways to one it does not link.
#include "shell/main_window.h"
