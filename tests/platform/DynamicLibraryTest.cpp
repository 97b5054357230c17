#include <gtest/gtest.h>

#include "platform/TDynamicLibrary.h"

using namespace vx;

TEST(DynamicLibrary, LoadsASystemLibraryAndFindsSymbolsAndAMissingFileFailsWithAMessage)
{
    TDynamicLibrary lib;
    ASSERT_TRUE(lib.Open("libm.so.6")) << lib.LastError();
    using CosFn = double (*)(double);
    auto fn = reinterpret_cast<CosFn>(lib.Symbol("cos"));
    ASSERT_NE(fn, nullptr);
    EXPECT_DOUBLE_EQ(fn(0.0), 1.0);
    EXPECT_EQ(lib.Symbol("no_such_symbol_here"), nullptr);
    lib.Close();
    EXPECT_FALSE(lib.IsOpen());
    EXPECT_EQ(lib.Symbol("cos"), nullptr);
    EXPECT_FALSE(lib.Open("/nonexistent/plugin.so"));
    EXPECT_FALSE(lib.LastError().empty());
}
