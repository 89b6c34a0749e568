// The procedure's settings arguments against the command line's flags.
#include "pdb_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "played_settings.h"
#include "settings.h"

namespace lumeray::gimp_bridge {
namespace {

// effect, quantity, intensity, length, angle, points, sharpness, saturation, rainbow intensity,
// rainbow frequency, secondary, flare, effects only
const std::vector<double> kValues{3, 100, 80, 60, -15, 7, 40, -30, 50, 25, 20, 30, 1};

Descriptor FromFlags(const std::vector<std::pair<std::string, std::string>>& flags) {
  Descriptor given;
  std::string error;
  for (const auto& [flag, value] : flags) {
    const SettingOption* option = FindSettingOption(flag);
    EXPECT_NE(option, nullptr) << flag;
    EXPECT_TRUE(ApplySetting(*option, value, &given, &error)) << error;
  }
  return CompleteSettings(given);
}

TEST(PdbSettings, ArgumentsPlayWhatTheSameFlagsPlay) {
  Descriptor played;
  std::string error;
  ASSERT_TRUE(SettingsFromArguments(kValues, &played, &error)) << error;
  const Descriptor flags = FromFlags({{"--effect", "Hollywood Star"},
                                      {"--quantity", "100"},
                                      {"--intensity", "80"},
                                      {"--length", "60"},
                                      {"--angle", "-15"},
                                      {"--points", "7"},
                                      {"--sharpness", "40"},
                                      {"--saturation", "-30"},
                                      {"--rainbow-intensity", "50"},
                                      {"--rainbow-frequency", "25"},
                                      {"--secondary", "20"},
                                      {"--flare", "30"},
                                      {"--effects-only", ""}});
  EXPECT_EQ(EncodeDescriptor(played), EncodeDescriptor(flags));
  EXPECT_EQ(SettingArguments().size(), kValues.size());
}

TEST(PdbSettings, RefusesValuesOutOfRangeNamingTheArgument) {
  const struct {
    size_t index;
    double value;
    const char* name;
  } cases[] = {{0, 7, "effect"},       {0, -1, "effect"},       {0, 1.5, "effect"},
               {1, 100.5, "quantity"}, {4, -91, "angle"},       {5, 33, "points"},
               {5, 2.5, "points"},     {7, -101, "saturation"}, {12, 2, "effects-only"},
               {11, NAN, "flare"}};
  for (const auto& c : cases) {
    std::vector<double> values = kValues;
    values[c.index] = c.value;
    Descriptor played;
    std::string error;
    EXPECT_FALSE(SettingsFromArguments(values, &played, &error)) << c.name << " " << c.value;
    EXPECT_EQ(error.rfind(c.name, 0), 0u) << error;
  }
  Descriptor played;
  std::string error;
  EXPECT_FALSE(SettingsFromArguments(std::vector<double>(kValues.size() - 1, 0), &played, &error));
}

}  // namespace
}  // namespace lumeray::gimp_bridge
