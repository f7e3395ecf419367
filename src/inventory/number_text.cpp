#include "inventory/number_text.h"

#include <cstdio>

namespace qmx {

std::string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace qmx
