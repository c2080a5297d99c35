// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's shared module of start-up values, settings, paths and number reading, one
// header per job; most callers want more than one of them.
#include "app/Paths.h"
#include "app/ProfileNumber.h"
#include "app/Settings.h"
