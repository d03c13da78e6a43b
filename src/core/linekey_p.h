#pragma once

#include "core/linekey.h"

// The source that takes effect: columns without a number and an empty pattern are the whole line.
KeyRule::Source EffectiveSource(const KeyRule& rule);
