// Tests of the table block.
#include <gtest/gtest.h>
