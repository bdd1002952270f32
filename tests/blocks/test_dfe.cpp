// Tests of the dfe blocks.
#include <gtest/gtest.h>
