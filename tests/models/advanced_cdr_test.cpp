// Tests of the receiver clock recovery.
#include <gtest/gtest.h>
