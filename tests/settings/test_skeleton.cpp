#include <gtest/gtest.h>
#include "support/testsupport.h"
TEST(Skeleton, Builds) { testsupport::IsolatedSettings s; EXPECT_FALSE(s.path().isEmpty()); }
