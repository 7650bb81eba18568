#include "datagen/cli.h"

#include <cerrno>
#include <cstdlib>

int ParseWholeNumber(const char *text, unsigned long long max, unsigned long long *value) {
    if (!text || text[0] < '0' || text[0] > '9') {
        return -1;
    }
    errno = 0;
    char *end = nullptr;
    unsigned long long v = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max) {
        return -1;
    }
    *value = v;
    return 0;
}
