// Inputs that the fuzz targets of fuzz/ once found faults with, kept as plain
// cases of the normal suite (run them under scripts/test --sanitize to see
// the undefined behaviour they used to reach). Each names its target.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/shader.h"

// shader_split_fuzz: a driver log line with a line number beyond int made
// the log reader throw out of std::stoi and end the program.
TEST(FuzzFindings, ShaderLogLineNumberOfAnyLength)
{
    const std::string log = "0:" + std::string(40, '3') + "(1): error: broken\n";
    const std::vector<std::string> errors = shaderLogErrors(log, "a.glsl", 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "a.glsl:1099511627776: error: broken");
}
