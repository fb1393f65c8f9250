#pragma once

// What the replay of the files the fuzzing found uses, until it moves into tests/preview.
#include "tests/support/RecordingSink.h"
