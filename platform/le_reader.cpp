// LeReader is header-only; this unit keeps the library non-empty on every configuration.
#include "platform/le_reader.h"
