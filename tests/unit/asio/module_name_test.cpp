// Registration of the module under a file name other than tx_va: it cannot find itself.
// A process of its own, so that no tx_va module is loaded beside the renamed one.
#include <gtest/gtest.h>

#include <vexa/dialog.h>

#include <fstream>
#include <string>
#include <vector>

#include "fake_card.h"
#include "server_module.h"

namespace {

TEST(ModuleNameTest, RegistrationUnderAnotherNameFailsWithItsMessage) {
  FakeCard card;
  std::string copy = card.registry.path() + ".tx_vexa.so";
  {
    std::ifstream from(ServerModule::builtPath(), std::ios::binary);
    std::ofstream to(copy, std::ios::binary);
    to << from.rdbuf();
  }
  std::vector<vexa::platform::MessageBoxCall> boxes;
  vexa::platform::setMessageBoxAnswerer([&](const vexa::platform::MessageBoxCall& call) {
    boxes.push_back(call);
    return IDOK;
  });
  {
    ServerModule renamed(copy);
    ASSERT_TRUE(renamed.loaded());
    EXPECT_EQ(renamed.registerServer(), -1);
    EXPECT_EQ(renamed.unregisterServer(), -1);
  }
  vexa::platform::setMessageBoxAnswerer(nullptr);
  remove(copy.c_str());

  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Register Server failed! (-101)");
  EXPECT_EQ(boxes[0].caption, "TX ASIO Driver");
  EXPECT_EQ(boxes[1].text, "Unregister Server failed! (-101)");
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\TX ASIO Driver", &key), ERROR_SUCCESS);
}

}  // namespace
