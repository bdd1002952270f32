// Tests of the patterns block.
#include <gtest/gtest.h>
