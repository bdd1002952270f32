// Tests of the shaping blocks.
#include <gtest/gtest.h>
