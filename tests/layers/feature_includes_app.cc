// A feature reaching up to the application's wiring.
#include "app/settings.h"
