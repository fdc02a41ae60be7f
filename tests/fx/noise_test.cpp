#include "fx/noise.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>
#include <gtest/gtest.h>

namespace {

float lengthOf(const Vec4& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

// Values computed independently with arbitrary-precision integers and then
// rounded to float; they pin the hash, including its wrap-around.
TEST(HashNoise, MatchesReferenceValuesIncludingWrapAround) {
    EXPECT_FLOAT_EQ(hashNoise(0), -0.28179097175598145f);
    EXPECT_NEAR(hashNoise(0), -0.2818f, 1e-4);
    EXPECT_EQ(hashNoise(1), -0.22637304663658142f);
    EXPECT_EQ(hashNoise(-1), 0.9001262784004211f);
    EXPECT_EQ(hashNoise(43443), 0.9351067543029785f);
    EXPECT_EQ(hashNoise(12345678), -0.8667243719100952f);
    EXPECT_EQ(hashNoise(-23), -0.41574808955192566f);
    EXPECT_EQ(hashNoise(std::numeric_limits<int32_t>::max()), 0.9001262784004211f);
    // The shift drops the sign bit, so the lowest seed hashes like 0.
    EXPECT_EQ(hashNoise(std::numeric_limits<int32_t>::min()), hashNoise(0));
}

TEST(HashNoise, StaysInsideMinusOneToOne) {
    for (int32_t i = -20000; i < 20000; i += 7) {
        const float v = hashNoise(i * 104729);
        EXPECT_GT(v, -1.0f);
        EXPECT_LE(v, 1.0f);
    }
}

TEST(Seeds, WrapAndRadiusSeedSaturatesOutOfRange) {
    EXPECT_EQ(seedX(0), 43443);
    EXPECT_EQ(seedY(2), 47);
    EXPECT_EQ(seedZ(3), 355);
    EXPECT_EQ(seedWeight(1), 64985);
    // 65536 * 65536 wraps to 0 in 32 bits.
    EXPECT_EQ(seedY(65536), 43);
    EXPECT_EQ(seedWeight(100000), static_cast<int32_t>(64453u * 100000u + 532u));

    EXPECT_EQ(seedRadius(0), 33);
    EXPECT_EQ(seedRadius(1), 40);
    EXPECT_EQ(seedRadius(5), 150);
    EXPECT_EQ(seedRadius(-1), 33);  // 4 - 3.4 + 33 truncates toward zero
    EXPECT_EQ(seedRadius(23170), 2147474411);
    EXPECT_EQ(seedRadius(-23170), 2147316855);
    EXPECT_EQ(seedRadius(23171), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(seedRadius(-23171), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(seedRadius(std::numeric_limits<int32_t>::max()), std::numeric_limits<int32_t>::min());
}

TEST(Generators, WeightsAndRadiiStayInTheirBands) {
    for (int32_t i = 0; i < 20000; ++i) {
        const Vec4 cube = randomInCube(i, 10.0f, 1.0f);
        EXPECT_LE(std::fabs(cube.x), 10.0f);
        EXPECT_LE(std::fabs(cube.y), 10.0f);
        EXPECT_LE(std::fabs(cube.z), 10.0f);
        EXPECT_GE(cube.w, 0.2f);
        EXPECT_LE(cube.w, 1.0f);

        const Vec4 shell = randomFlatShell(i, 50.0f, 1.0f);
        EXPECT_GE(lengthOf(shell), 35.35f) << i;
        EXPECT_LE(lengthOf(shell), 54.78f) << i;
        EXPECT_EQ(shell.w, cube.w);  // the weight depends only on the index

        const Vec4 ball = randomInBall(i, 100.0f, 3.0f);
        EXPECT_GE(lengthOf(ball), 31.6f) << i;
        EXPECT_LE(lengthOf(ball), 89.5f) << i;
        EXPECT_GE(ball.w, 0.6f);
        EXPECT_LE(ball.w, 3.0f);
    }
}

TEST(Generators, FlatShellCrowdsTowardsTheXYPlane) {
    double sumZ = 0.0;
    double sumX = 0.0;
    for (int32_t i = 0; i < 4000; ++i) {
        const Vec4 p = randomFlatShell(i, 50.0f, 1.0f);
        sumZ += std::fabs(p.z);
        sumX += std::fabs(p.x);
    }
    EXPECT_LT(sumZ * 3.0, sumX);
}

TEST(Generators, OutOfRangeRadiusSeedGivesOneFixedRadius) {
    const float expected = std::sqrt(std::fabs(hashNoise(0)) * 0.7f + 0.1f);
    EXPECT_NEAR(expected, 0.5452f, 1e-4);
    EXPECT_FLOAT_EQ(lengthOf(randomInBall(23191, 1.0f, 1.0f)), expected);
    EXPECT_FLOAT_EQ(lengthOf(randomInBall(3 + 22 * 1054, 1.0f, 1.0f)), expected);
    EXPECT_FLOAT_EQ(lengthOf(randomInBall(3 + 22 * 7999, 1.0f, 1.0f)), expected);
}

TEST(Generators, FollowTheirSeedFormulas) {
    const int32_t i = 977;
    const Vec4 cube = randomInCube(i, 25.0f, 2.0f);
    EXPECT_EQ(cube.x, hashNoise(i * i + 3 * i + 43443) * 25.0f);
    EXPECT_EQ(cube.y, hashNoise(i * i + 43) * 25.0f);
    EXPECT_EQ(cube.z, hashNoise(i * i + i + 343) * 25.0f);
    EXPECT_EQ(cube.w, std::fabs(hashNoise(64453 * i + 532) * (2.0f * 0.8f)) + 2.0f * 0.2f);

    const Vec4 ball = randomInBall(i, 1.0f, 1.0f);
    const float r = std::sqrt(std::fabs(hashNoise(4 * i * i + 3321 + 33)) * 0.7f + 0.1f);
    EXPECT_NEAR(lengthOf(ball), r, 1e-6f);
    EXPECT_NEAR(ball.x / lengthOf(ball), cube.x / lengthOf(cube), 1e-5f);
}

TEST(Rotations, RotateAboutYTurnsXTowardsMinusZ) {
    const Vec4 quarter = rotateAboutY(1.5707963f, 1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_NEAR(quarter.x, 3.0f, 1e-6f);
    EXPECT_EQ(quarter.y, 2.0f);
    EXPECT_NEAR(quarter.z, -1.0f, 1e-6f);
    EXPECT_EQ(quarter.w, 4.0f);

    const Vec4 r = rotateAboutY(0.3f, 5.0f, -1.0f, 2.0f, 0.5f);
    EXPECT_NEAR(r.x, 5.0 * std::cos(0.3) + 2.0 * std::sin(0.3), 1e-5);
    EXPECT_NEAR(r.z, -5.0 * std::sin(0.3) + 2.0 * std::cos(0.3), 1e-5);
}

TEST(Rotations, AxisAngleIsRightHandedAndInDegrees) {
    const glm::vec3 r = rotateAboutAxis(glm::vec3(1, 0, 0), glm::vec3(0, 0, 5), 90.0f);
    EXPECT_NEAR(r.x, 0.0f, 1e-6f);
    EXPECT_NEAR(r.y, 1.0f, 1e-6f);
    EXPECT_NEAR(r.z, 0.0f, 1e-6f);
    const glm::vec3 same = rotateAboutAxis(glm::vec3(3, -2, 7), glm::vec3(1, 2, 3), 0.0f);
    EXPECT_EQ(same, glm::vec3(3, -2, 7));
}

// The shapes were designed with GLM's axis-angle matrix; the direct form
// must give the very same floats.
TEST(Rotations, AxisAngleMatchesGlmBitForBit) {
    for (int32_t i = 0; i < 5000; ++i) {
        const Vec4 v = randomInCube(i, 300.0f, 1.0f);
        const Vec4 axis = randomInBall(i + 7, 1.0f, 1.0f);
        const float degrees = hashNoise(i * 31 + 5) * 720.0f;
        const glm::mat4 m = glm::rotate(glm::mat4(1.0f), degrees * degreesToRadians,
                                        glm::vec3(axis.x, axis.y, axis.z));
        const glm::vec4 expected = m * glm::vec4(v.x, v.y, v.z, 1.0f);
        const glm::vec3 got =
            rotateAboutAxis(glm::vec3(v.x, v.y, v.z), glm::vec3(axis.x, axis.y, axis.z), degrees);
        ASSERT_EQ(got.x, expected.x) << i;
        ASSERT_EQ(got.y, expected.y) << i;
        ASSERT_EQ(got.z, expected.z) << i;
    }
}

TEST(StrandPath, FollowsItsFormulaAtChosenPoints) {
    const glm::vec3 origin = strandPath(0.0f, 0.0f);
    EXPECT_EQ(origin, glm::vec3(0.0f, 0.0f, 900.0f));

    const double h = 1234.5;
    const double t = 97.25;
    const glm::vec3 p = strandPath(static_cast<float>(h), static_cast<float>(t));
    EXPECT_NEAR(p.x, 600 * std::sin(h * 0.0045 * 0.33) + 300 * std::sin(h * 0.0105 * 0.33 + t * 0.0252), 2e-3);
    EXPECT_EQ(p.y, 1234.5f);
    EXPECT_NEAR(p.z, 600 * std::cos(h * 0.0045 * 0.33) + 300 * std::cos(h * 0.0095 * 0.33 + t * 0.0241), 2e-3);

    // The phase moves the wobble only, never the height.
    EXPECT_NE(strandPath(-800.0f, 0.0f).x, strandPath(-800.0f, 40.0f).x);
    EXPECT_EQ(strandPath(-800.0f, 40.0f).y, -800.0f);
}
