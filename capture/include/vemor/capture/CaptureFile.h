#pragma once
// TEMPORARY stand-in until the capture library lands.
#ifdef _WIN32
#include "../../../../winui/CaptureFile.h"
#else
#include "../../../../ui/CaptureFile.h"
#endif
