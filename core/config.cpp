#include "core/config.h"

TConfig& Config() {
    static TConfig c;
    return c;
}
