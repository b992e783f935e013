#include "engine/packetqueue.h"

#include <gtest/gtest.h>

#include <string>

TEST(ThreadQueue, RefusesAPushThatWouldReachTheCapacity)
{
    CThreadQueue q;
    ASSERT_TRUE(q.Init(100));
    std::string bytes(60, 'a');
    EXPECT_TRUE(q.Push(bytes.data(), 60, 0));
    EXPECT_FALSE(q.Push(bytes.data(), 40, 1));
    EXPECT_TRUE(q.Push(bytes.data(), 39, 2));
}
