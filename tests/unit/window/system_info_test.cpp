#include "window/core/system_info.hpp"

#include <gtest/gtest.h>

namespace tessora::console {
namespace {

struct AddressCase {
  std::uintptr_t address;
  const char* text;
};

class AddressText : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressText, EightLowerCaseDigitsAtLeast) { EXPECT_EQ(format_address(GetParam().address), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Addresses, AddressText,
                         ::testing::Values(AddressCase{0x10000, "0x00010000"}, AddressCase{0x7ffeffff, "0x7ffeffff"},
                                           AddressCase{0, "0x00000000"},
                                           AddressCase{static_cast<std::uintptr_t>(0x7fffffffefffULL),
                                                       sizeof(std::uintptr_t) == 8 ? "0x7fffffffefff" : "0xffffefff"}));

TEST(SystemInfo, DescribesThisMachine) {
  const SystemInfo info = system_info();
  EXPECT_GT(info.page_size, 0u);
  EXPECT_EQ(info.page_size & (info.page_size - 1), 0u) << "a power of two";
  EXPECT_LT(info.minimum_address, info.maximum_address);
  EXPECT_GE(info.processors, 1u);
}

}  // namespace
}  // namespace tessora::console
