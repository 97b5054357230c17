// The float and double matrices: bounds-tested access and the row mean.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "model/math/TDoubleMatrix.h"
#include "model/math/TFloatMatrix.h"

namespace {

TEST(TMatrixOfTest, AccessOutsideTheMatrixThrowsFatal)
{
    TFloatMatrix m;
    struct Case {
        uint32_t row, column;
    };
    // No data yet: every access throws.
    EXPECT_THROW(m.At(0, 0), std::runtime_error);
    m.Resize(2, 3);
    EXPECT_EQ(m.Rows(), 2u);
    EXPECT_EQ(m.Columns(), 3u);
    for (Case c : {Case{2, 0}, Case{0, 3}, Case{5, 5}}) {
        try {
            m.Set(c.row, c.column, 1.0f);
            ADD_FAILURE() << c.row << " " << c.column;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "fatal!");
        }
        EXPECT_THROW(m.At(c.row, c.column), std::runtime_error);
    }
    m.Set(1, 2, 4.5f);
    EXPECT_EQ(m.At(1, 2), 4.5f);
    EXPECT_EQ(*m.ElementPtr(1, 2), 4.5f);  // row-major: element 5
    EXPECT_EQ(m.Data()[5], 4.5f);
    m.Scale(2.0f);
    EXPECT_EQ(m.At(1, 2), 9.0f);
    // Resizing starts from zeros; a copy is independent.
    TFloatMatrix copy = m;
    m.Resize(1, 1);
    EXPECT_EQ(copy.At(1, 2), 9.0f);
    EXPECT_EQ(m.At(0, 0), 0.0f);
}

TEST(TMatrixOfTest, RowMean)
{
    TDoubleMatrix m;
    EXPECT_EQ(m.RowMean(0), 0.0);
    m.Resize(2, 4);
    const double rows[2][4] = {{1, 2, 3, 4}, {-1, 0.5, 0.25, 0.25}};
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t c = 0; c < 4; ++c)
            m.Set(r, c, rows[r][c]);
    EXPECT_DOUBLE_EQ(m.RowMean(0), 2.5);
    EXPECT_DOUBLE_EQ(m.RowMean(1), 0.0);
    EXPECT_EQ(m.RowMean(2), 0.0);
}

}  // namespace
