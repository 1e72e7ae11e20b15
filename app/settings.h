#pragma once
// The settings accessors live in the configuration library, which the
// screen recorder links too.
#include "config/settings.h"
