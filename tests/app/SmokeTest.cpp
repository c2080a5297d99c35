#include "app/Commands.h"

#include <gtest/gtest.h>

TEST(AddBackslash, AppendsOneSeparator)
{
    QString p = QStringLiteral("/a");
    EXPECT_EQ(Commands::AddBackslash(p), QStringLiteral("/a/"));
    EXPECT_EQ(Commands::AddBackslash(p), QStringLiteral("/a/"));
}
