// Shared helpers for the utility tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ZAVUtil1.h"
#include "WString.h"

inline ZAVString Z(const WString& s) { return ZAVString(s.c_str(), static_cast<unsigned>(s.size())); }
