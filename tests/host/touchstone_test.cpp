#include "touchstone.h"
#include <gtest/gtest.h>
TEST(Touchstone, Placeholder) {}
