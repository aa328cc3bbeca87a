// The per-level arrays of a trace object's routine stack.
#pragma once

#include "ZAVDebug.h"

namespace zav {

const unsigned kFirstLevels = 20;
const unsigned kLevelGrowth = 8;

template <typename T>
ZAVDebugLevels<T>* NewLevels(unsigned size, T fill) {
    ZAVDebugLevels<T>* levels = new ZAVDebugLevels<T>{new T[size], size};
    for (unsigned i = 0; i < size; ++i) levels->Items[i] = fill;
    return levels;
}

template <typename T>
void GrowLevels(ZAVDebugLevels<T>* levels, unsigned by, T fill) {
    T* items = new T[levels->Size + by];
    for (unsigned i = 0; i < levels->Size; ++i) items[i] = levels->Items[i];
    for (unsigned i = levels->Size; i < levels->Size + by; ++i) items[i] = fill;
    delete[] levels->Items;
    levels->Items = items;
    levels->Size += by;
}

template <typename T>
void DeleteLevels(ZAVDebugLevels<T>* levels) {
    if (levels == nullptr) return;
    delete[] levels->Items;
    delete levels;
}

}  // namespace zav
