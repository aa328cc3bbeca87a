// The logon name and the computer name, asked once and kept for the life of
// the process (a query that finds nothing is asked again next time).
#pragma once

#include "ZAVString.h"

// "Unknown" when neither the network provider nor the system knows a user.
ZAVUTIL1_API ZAVString ZAV_GetLogonId();
// Empty when the name cannot be read.
ZAVUTIL1_API ZAVString ZAV_GetComputerName();
