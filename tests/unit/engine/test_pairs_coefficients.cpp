// The value of every coefficient for the worked examples and the degenerate
// cases, compared bit for bit. Expected values were worked out by hand in
// double arithmetic, rounding to float at each stored step.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pairs.hpp"
#include "test_pairs_support.hpp"

namespace tessora::engine {
namespace {

using testing::from_bits;
using testing::kMinusNaN;
using testing::kPlusNaN;
using testing::objects;
using testing::same_bits;

struct Row {
  std::int32_t coefficient;
  std::size_t i, j;  // the pair, objects counted from 1
  float expected;
};

void check(const DataMatrix& data, const std::vector<Row>& rows, std::int32_t scaling = 0) {
  for (const Row& r : rows) {
    const ResemblanceMatrix res = compute_reference(data, r.coefficient, scaling);
    EXPECT_TRUE(same_bits(res.at(r.i - 1, r.j - 1), r.expected))
        << "coefficient " << r.coefficient << ", pair (" << r.i << ", " << r.j << ")";
  }
}

// The three-object example: -1 is missing.
const DataMatrix kExample = objects({{1, 2, -1, 4}, {3, 1, 5, 0}, {6, 2, 0, 1}});

// All three variables known in both: i = (1, 2, 0), j = (3, 0, 1).
TEST(Coefficients1To12, WorkedExample) {
  check(objects({{1, 2, 0}, {3, 0, 1}}), {
      {1, 1, 2, 3.0f},
      {2, 1, 2, 5.0f},
      {3, 1, 2, 1.66666663f},
      {4, 1, 2, 0.166666672f},
      {5, 1, 2, 0.25f},
      {6, 1, 2, 0.833333313f},
      {7, 1, 2, 0.285714298f},
      {8, 1, 2, 0.714285731f},
      {9, 1, 2, 1.07306659f},
      {10, 1, 2, 0.575735927f},
      {11, 1, 2, 1.1326499f},  // 64.89591 degrees
      {12, 1, 2, 1.0f},
  });
}

TEST(Coefficients1To12, ScalingByAllVariablesOverKnownInBoth) {
  // The same pair with two more variables, each missing in one object.
  const DataMatrix data = objects({{1, 2, 0, 5, -1}, {3, 0, 1, -1, 7}});
  check(data, {{1, 1, 2, 5.0f}, {2, 1, 2, 8.33333302f}, {3, 1, 2, 1.66666663f}, {13, 1, 2, 8.33333302f}},
        /*scaling=*/1);
  check(data, {{1, 1, 2, 3.0f}, {2, 1, 2, 5.0f}, {13, 1, 2, 5.0f}}, /*scaling=*/2);
}

TEST(Coefficients1To12, ProfilesAtRightAnglesOppositeAndProportional) {
  check(objects({{1, 0}, {0, 1}}), {
      {9, 1, 2, 1.41421354f}, {10, 1, 2, 1.0f},
      {11, 1, 2, from_bits(0x3FC90FF9u)},  // 1.5708, not the float nearest pi / 2
  });
  check(objects({{1, 2}, {-2, -4}}), {
      {9, 1, 2, 2.0f}, {10, 1, 2, 2.0f}, {11, 1, 2, from_bits(0x40490FF9u)},  // 3.1416
  });
  check(objects({{1, 2}, {2, 4}}), {
      {9, 1, 2, 0.0f}, {10, 1, 2, 0.0f}, {11, 1, 2, 0.0f}, {1, 1, 2, 2.23606801f}, {4, 1, 2, 0.5f},
  });
}

TEST(Coefficients1To12, ObjectsZeroOnEveryCommonVariable) {
  const DataMatrix zeros = objects({{0, 0}, {0, 0}});
  check(zeros, {{1, 1, 2, 0.0f}, {2, 1, 2, 0.0f}, {3, 1, 2, 0.0f}, {12, 1, 2, 0.0f}});
  for (std::int32_t c = 4; c <= 11; ++c) check(zeros, {{c, 1, 2, kMinusNaN}});  // 0 / 0
}

// Squares are stored rounded, products are added exactly, and the cosine is
// not clamped: equal profiles can miss by a rounding step either way.
TEST(Coefficients1To12, EqualProfilesMissByRounding) {
  check(objects({{78.1f, 78.6f}, {78.1f, 78.6f}}), {
      {5, 1, 2, 0.999999821f},
      {9, 1, 2, 0.000398849283f},
      {11, 1, 2, from_bits(0x39B5050Eu)},
  });
  // Here the cosine lies beyond 1, also once rounded to float.
  check(objects({{82.3f, 74.1f}, {82.3f, 74.1f}}), {
      {9, 1, 2, kMinusNaN},  // the root of a negative number
      {10, 1, 2, -7.96277391e-08f},
      {11, 1, 2, kMinusNaN},  // arc cosine beyond 1
  });
}

TEST(Coefficients13To24, WorkedExample) {
  check(kExample, {
      {13, 1, 2, 7.0f}, {13, 1, 3, 8.0f}, {13, 2, 3, 10.0f},
      {14, 1, 2, 9.0f}, {14, 1, 3, 16.333334f}, {14, 2, 3, 12.0f},
      {15, 1, 2, 1.0f}, {15, 1, 3, 0.444444448f}, {15, 2, 3, 0.0f},
      {16, 1, 2, 0.800000012f}, {16, 1, 3, 0.583333313f}, {16, 2, 3, 0.712499976f},
      {17, 1, 2, 0.900457561f}, {17, 1, 3, 0.612275541f}, {17, 2, 3, 0.861928761f},
      {18, 1, 2, 1.83333325f}, {18, 1, 3, 1.31428576f}, {18, 2, 3, 2.66666675f},
      {19, 1, 2, 0.363636374f}, {19, 1, 3, 0.5f}, {19, 2, 3, 0.444444448f},
      {20, 1, 2, 0.129608914f}, {20, 1, 3, 0.106680371f}, {20, 2, 3, 0.120185047f},
      {21, 1, 2, 0.392857134f}, {21, 1, 3, 0.476190478f}, {21, 2, 3, 0.444444448f},
      {22, 1, 2, 0.673575342f}, {22, 1, 3, 0.538579643f}, {22, 2, 3, 0.745356023f},
      {23, 1, 2, -2.16666675f}, {23, 1, 3, -3.5f}, {23, 2, 3, -0.0833333358f},
      {24, 1, 2, -0.928571463f}, {24, 1, 3, -0.866025448f}, {24, 2, 3, -0.0142900897f},
  });
  check(kExample, {{13, 1, 2, 9.33333302f}}, /*scaling=*/1);
}

TEST(Coefficients13To24, IdenticalObjects) {
  // The third object gives every variable a range above 0.
  check(objects({{1, 2, 3}, {1, 2, 3}, {5, 0, 4}}), {
      {13, 1, 2, 0.0f}, {14, 1, 2, 0.0f}, {15, 1, 2, 0.0f}, {16, 1, 2, 0.0f}, {17, 1, 2, 0.0f},
      {18, 1, 2, 0.0f}, {19, 1, 2, 1.0f}, {20, 1, 2, 0.0f}, {21, 1, 2, 1.0f}, {22, 1, 2, 0.0f},
      {23, 1, 2, 1.0f}, {24, 1, 2, 1.0f},
  });
}

TEST(Coefficients13To24, ZeroSumsSkipAVariableButItStillCounts) {
  check(objects({{1, 0}, {3, 0}}), {
      {18, 1, 2, 0.5f},
      {22, 1, 2, 0.353553385f},  // the root of 0.25 / 2, not of 0.25 / 1
  });
  check(objects({{2, 0}, {-2, 0}}), {{18, 1, 2, 0.0f}, {22, 1, 2, 0.0f}});
}

TEST(Coefficients13To24, DegenerateCases) {
  // A single known value in common: k - 1 = 0.
  check(objects({{2, -1}, {3, 5}}), {{14, 1, 2, kMinusNaN}, {23, 1, 2, kMinusNaN}});
  // A variable with range 0: inf - inf, then the absolute value clears the sign.
  check(objects({{1, 5}, {1, 3}}), {{16, 1, 2, kPlusNaN}});
  // A zero pair total.
  check(objects({{0, 0}, {1, 2}}), {
      {17, 1, 2, kMinusNaN}, {20, 1, 2, kMinusNaN},
      {21, 1, 2, kMinusNaN},  // object i's profile is NaN and the smaller value is taken from it
  });
  check(objects({{1, 2}, {0, 0}}), {{21, 1, 2, 1.0f}});  // object j's NaN profile is never taken
  check(objects({{0, 0}, {0, 0}}), {{19, 1, 2, kMinusNaN}});
  // A negative profile value: the root is NaN.
  check(objects({{3, -2}, {1, 1}}), {{17, 1, 2, kMinusNaN}});
  // A variable whose total over all objects is 0.
  check(objects({{0, 1}, {0, 2}}), {{20, 1, 2, kMinusNaN}});
  // An object constant over K.
  check(objects({{1, 1}, {1, 2}}), {{24, 1, 2, kMinusNaN}});
}

TEST(Coefficients25To34, WorkedExample) {
  check(kExample, {
      {25, 1, 2, 0.416666657f}, {26, 1, 2, 0.263157904f}, {27, 1, 2, 0.588235319f},
      {28, 1, 2, 0.179284289f}, {29, 1, 2, 0.00803571474f}, {30, 1, 2, 0.291666657f},
      {31, 1, 2, 0.166666672f}, {32, 1, 2, 0.388619035f}, {33, 1, 2, -0.127016649f},
      {34, 1, 2, -0.25f},
      // SNONE = 0: 28 and 29 through the factor, 33 and 34 through one product.
      {25, 1, 3, 0.333333343f}, {26, 1, 3, 0.200000003f}, {27, 1, 3, 0.5f}, {28, 1, 3, 0.0f},
      {29, 1, 3, 0.0f}, {30, 1, 3, 0.333333343f}, {31, 1, 3, 0.333333343f},
      {32, 1, 3, 0.333333343f}, {33, 1, 3, -1.0f}, {34, 1, 3, -1.0f},
      {25, 2, 3, 0.411764711f}, {28, 2, 3, 0.166666672f}, {29, 2, 3, 0.00694444450f},
      {34, 2, 3, -0.351351351f},
  });
}

TEST(Coefficients25To34, ZerosAndOnesGiveTheTableCounts) {
  // SMIN = SONLYI = SONLYJ = SNONE = 1 for the pair (1, 2). A fifth variable
  // that is 0 everywhere has Mv = 0 and changes nothing.
  for (const DataMatrix& data : {objects({{1, 1, 0, 0}, {1, 0, 1, 0}, {0, 1, 1, 1}}),
                                 objects({{1, 1, 0, 0, 0}, {1, 0, 1, 0, 0}, {0, 1, 1, 1, 0}})}) {
    check(data, {
        {25, 1, 2, 0.5f}, {26, 1, 2, 0.333333343f}, {27, 1, 2, 0.666666687f}, {28, 1, 2, 0.25f},
        {29, 1, 2, 0.015625f}, {30, 1, 2, 0.375f}, {31, 1, 2, 0.25f}, {32, 1, 2, 0.5f},
        {33, 1, 2, 0.0f}, {34, 1, 2, 0.0f},
    });
  }
}

TEST(Coefficients25To34, DegenerateCasesAndGuards) {
  // Every value 0: all four sums are 0.
  check(objects({{0, 0}, {0, 0}}), {
      {25, 1, 2, kMinusNaN}, {26, 1, 2, kMinusNaN}, {27, 1, 2, kMinusNaN}, {28, 1, 2, 0.0f},
      {29, 1, 2, 0.0f}, {30, 1, 2, kMinusNaN}, {31, 1, 2, kMinusNaN}, {32, 1, 2, kMinusNaN},
      {33, 1, 2, 0.0f}, {34, 1, 2, 0.0f},
  });
  // Both 0 on K while a third object raises Mv: only SNONE is above 0.
  check(objects({{0, 0}, {0, 0}, {1, 1}}), {
      {25, 1, 2, 1.0f}, {26, 1, 2, 1.0f}, {27, 1, 2, 1.0f}, {28, 1, 2, 0.0f}, {29, 1, 2, 0.0f},
      {30, 1, 2, 0.5f}, {31, 1, 2, 0.0f}, {32, 1, 2, kMinusNaN}, {33, 1, 2, 0.0f}, {34, 1, 2, 0.0f},
  });
  // Identical objects at the variable maximum: SNONE = 0.
  check(objects({{2, 3}, {2, 3}}), {
      {25, 1, 2, 1.0f}, {28, 1, 2, 0.0f}, {29, 1, 2, 0.0f}, {30, 1, 2, 1.0f}, {31, 1, 2, 1.0f},
      {32, 1, 2, 1.0f}, {33, 1, 2, 0.0f}, {34, 1, 2, 0.0f},
  });
  // Identical objects below the maximum.
  check(objects({{2, 3}, {2, 3}, {4, 4}}), {
      {25, 1, 2, 1.0f}, {28, 1, 2, 1.0f}, {29, 1, 2, 0.25f}, {30, 1, 2, 0.8125f}, {31, 1, 2, 0.625f},
      {32, 1, 2, 1.0f}, {33, 1, 2, 1.0f}, {34, 1, 2, 1.0f},
  });
}

// Inexact values: each stored intermediate of the definitions (a square, the
// cosine and degree value of 11, SSQ / (k - 1) of 14, the |a + b| of 18 and
// 22, the ratios of 19 and 21, P and Q of 24, SNONE + Mv) changes at least one
// of these values when it is left unrounded. One line per coefficient, the
// values of the pairs (1, 2), (1, 3) and (2, 3).
TEST(AllCoefficients, InexactValuesRoundedAtEachStoredStep) {
  const DataMatrix data =
      objects({{4.0f, 0.2f, 3.6f, 9.2f, -1}, {1.0f, 0.5f, 9.7f, 1.2f, 8.6f}, {3.9f, 4.5f, 8.9f, 9.5f, 7.8f}});
  struct Line { std::int32_t coefficient; float p12, p13, p23; };
  const Line lines[] = {
      {1, 10.5023804f, 6.83227587f, 9.72522545f},
      {2, 17.3999996f, 10.0f, 16.7999992f},
      {3, 4.3499999f, 2.5f, 3.3599999f},
      {4, 0.256410271f, 0.628252804f, 0.53591162f},
      {5, 0.312172592f, 0.744387329f, 0.643820226f},
      {6, 0.743589759f, 0.371747226f, 0.46408841f},
      {7, 0.408163279f, 0.771689475f, 0.697841763f},
      {8, 0.591836751f, 0.228310511f, 0.302158266f},
      {9, 1.02240396f, 0.467292041f, 0.628381312f},
      {10, 0.522654951f, 0.109180927f, 0.197431535f},
      {11, 1.07316804f, 0.471652716f, 0.639209509f},
      {12, 6.0f, 16.8999996f, 19.3999996f},
      {13, 17.3999996f, 10.0f, 16.7999992f},
      {14, 35.003334f, 7.55666494f, 14.3970013f},
      {15, 1.32249999f, 6.00250006f, 7.39839983f},
      {16, 0.758405685f, 0.484582573f, 0.805609345f},
      {17, 0.639707148f, 0.366972178f, 0.441125184f},
      {18, 2.25644898f, 1.36759472f, 2.25932884f},
      {19, 0.408163309f, 0.771689534f, 0.697841763f},
      {20, 0.0386158824f, 0.0334786512f, 0.028308304f},
      {21, 0.400948763f, 0.723529458f, 0.611230373f},
      {22, 0.580031514f, 0.504287601f, 0.565015435f},
      {23, -0.880000293f, 7.34666872f, 6.41000319f},
      {24, -0.0537245944f, 0.680282593f, 0.550018191f},
      {25, 0.371841162f, 0.638989151f, 0.53719008f},
      {26, 0.22838138f, 0.469496012f, 0.367231637f},
      {27, 0.542105258f, 0.779735684f, 0.69892472f},
      {28, 0.138882264f, 0.204113513f, 0.0141117675f},
      {29, 0.00482207118f, 0.0104155811f, 4.97854926e-05f},
      {30, 0.294223815f, 0.624548733f, 0.535812676f},
      {31, 0.216606498f, 0.610108256f, 0.534435272f},
      {32, 0.38903144f, 0.672956288f, 0.553106308f},
      {33, -0.245815873f, 0.574058533f, -0.559533834f},
      {34, -0.463617444f, 0.863542497f, -0.852247596f},
  };
  std::vector<Row> rows;
  for (const Line& l : lines) {
    rows.push_back({l.coefficient, 1, 2, l.p12});
    rows.push_back({l.coefficient, 1, 3, l.p13});
    rows.push_back({l.coefficient, 2, 3, l.p23});
  }
  check(data, rows);
}

// Intermediates stored or kept in double exactly as defined: 13 combines
// three rounded sums rather than taking SAD, and 19 keeps h in double.
TEST(Coefficients13To24, IntermediatesAsWritten) {
  check(objects({{97.1f, 22.9f}, {64.6f, 64.3f}}), {
      {13, 1, 2, 73.8999939f},  // SAD alone would store 73.9000015
      {2, 1, 2, 73.9000015f},
  });
  check(objects({{63.4f, 21.1f}, {50.9f, 69.7f}}), {{19, 1, 2, 0.702096581f}});  // 0.702096522 with h in float
  // |a + b| of 22 is stored before it divides; the s^2 of 23's diagonal is a
  // stored square.
  check(objects({{88.7f, 57.4f, 87.8f}, {94.7f, 80.0f, 47.7f}}), {
      {22, 1, 2, 0.196389154f},  // 0.196389139 with |a + b| in double
      {23, 1, 1, 317.442047f},   // 317.442139 with s * s in double
  });
}

// Infinite values make the presence/absence sums NaN; the guards of 28, 29,
// 33 and 34 count a NaN sum or product as 0.
TEST(AllCoefficients, GuardsCountANaNAsZero) {
  const float inf = std::numeric_limits<float>::infinity();
  const DataMatrix data = objects({{inf, 1}, {inf, 2}});
  check(data, {{28, 1, 2, 0.0f}, {29, 1, 2, 0.0f}, {33, 1, 2, 0.0f}, {34, 1, 2, 0.0f}});
  EXPECT_TRUE(std::isnan(compute_reference(data, 25, 0).at(0, 1)));
}

}  // namespace
}  // namespace tessora::engine
