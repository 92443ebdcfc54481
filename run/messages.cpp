// Filling the text fields of the run's payload records.
#include "run/messages.h"

#include <algorithm>
#include <cstring>

void CopyEventText(char (&field)[kEventTextSize], std::string_view text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), kEventTextSize - 1));
}
