#pragma once
// TEMPORARY stand-in until the capture library lands.
#include "vemor/capture/CaptureFile.h"
