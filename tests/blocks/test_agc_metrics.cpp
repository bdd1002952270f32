// Tests of the agc metrics block.
#include <gtest/gtest.h>
