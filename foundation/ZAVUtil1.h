/// \file
/// The whole exported interface of ZAVUtil1: include this one header.
#pragma once

#include <ZAVUtil1/ZAVUtil1Version.h>  // generated from the build's version
#include "ZAVExport.h"
#include "ZAVFrame.h"
#include "ZAVHostCalls.h"
#include "ZAVList.h"
#include "ZAVMemory.h"
#include "ZAVGlobals.h"
#include "ZAVString.h"
#include "ZAVTextUtil.h"
#include "ZAVPathUtil.h"
#include "ZAVIdentity.h"
#include "ZAVMsg.h"
#include "ZAVEventLog.h"
#include "ZAVDebug.h"
