// The module's file and resources.

#include "platform/module_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "resources/embedded_resources.h"

namespace lumeray::platform {
namespace {

TEST(ModuleFileTest, HostProgramAndModuleFileAreThisTestProgram) {
  // The platform code is linked into this test program, so both name the same absolute file.
  const std::string path = HostProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(access(path.c_str(), X_OK), 0);
  EXPECT_EQ(ModuleFilePath(), path);
}

TEST(ModuleFileTest, EveryEmbeddedResourceIsFoundByTypeAndIdAndNoOther) {
  for (const EmbeddedResource& resource : EmbeddedResources()) {
    auto view = FindResource(resource.type, resource.id);
    ASSERT_TRUE(view) << resource.type << " " << resource.id;
    EXPECT_EQ(view->data, resource.data);
    EXPECT_EQ(view->size, resource.size);
    EXPECT_FALSE(FindResource(resource.type, resource.id + 100000));
  }
  EXPECT_FALSE(FindResource("NOPE", -12345));
  EXPECT_FALSE(FindResource("", 0));
}

}  // namespace
}  // namespace lumeray::platform
