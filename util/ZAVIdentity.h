/// \file
/// The logon name and the computer name, asked once and kept for the life of
/// the process (a query that finds nothing is asked again next time).
#pragma once

#include "ZAVString.h"

/// The logon name, from the network provider or else the system; "Unknown"
/// when neither knows a user.
ZAVUTIL1_API ZAVString ZAV_GetLogonId();
/// The computer name; empty when it cannot be read.
ZAVUTIL1_API ZAVString ZAV_GetComputerName();
