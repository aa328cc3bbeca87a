// Shared helpers for the utility tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ZAVUtil1.h"

inline std::u16string Text(const ZAVString& s) { return std::u16string(s.c_str(), s.size()); }
inline ZAVString Z(const std::u16string& s) { return ZAVString(s.c_str(), static_cast<unsigned>(s.size())); }
