// Tests of the peaking filter block.
#include <gtest/gtest.h>
