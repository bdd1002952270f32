// Tests of the cdr blocks.
#include <gtest/gtest.h>
