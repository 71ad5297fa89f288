// Cases only the store host can run: without the shell's tree deletion, key deletion falls back
// to enumerating and deleting sub-keys itself.
#include <gtest/gtest.h>

#include "runtime/errors/error_state.h"
#include "runtime/system/registry.h"
#include "runtime/system/store/registry_store.h"
#include "tests/registry/registry_cases.h"

namespace vantrel::testing {
namespace {

class StoreOnly : public ::testing::Test {
 protected:
  void SetUp() override { Host().Prepare(); }
  void TearDown() override {
    store::SetTreeDeleteAvailable(true);
    Host().CleanUp();
  }
};

TEST_F(StoreOnly, KeyDeletionWorksWithoutTheShellFunction) {
  const std::string tree = std::string(kTestKey) + "\\Tree";
  for (const char* sub : {"\\A\\B", "\\A\\C", "\\D", ""}) {
    ASSERT_EQ(RegistryPutValue(kHkeyCurrentUser, tree + sub, "V", "1", 4), 0);
  }
  ASSERT_EQ(RegistryPutValue(kHkeyCurrentUser, kTestKey, "Kept", "1", 4), 0);
  store::SetTreeDeleteAvailable(false);
  RegistryDelete(kHkeyCurrentUser, tree, "");
  EXPECT_EQ(RuntimeErrorCode(), 0);
  RegistryGetValue(kHkeyCurrentUser, tree + "\\A\\B", "V");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  RegistryGetValue(kHkeyCurrentUser, tree, "V");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(RegistryGetValue(kHkeyCurrentUser, kTestKey, "Kept"), "1");
  RegistryDelete(kHkeyCurrentUser, tree, "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

}  // namespace
}  // namespace vantrel::testing
