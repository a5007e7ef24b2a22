// Whole-array allocation that reports running out of memory as a message instead of throwing.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>

#include "console.h"

template <typename T>
std::unique_ptr<T[]> allocateArray(std::size_t count, const char* what)
{
    std::unique_ptr<T[]> array(new (std::nothrow) T[count]);
    if (!array) {
        char line[160];
        std::snprintf(line, sizeof line, "error: out of memory: %zu bytes for the %s could not be allocated",
                      count * sizeof(T), what);
        reportError(line);
    }
    return array;
}
