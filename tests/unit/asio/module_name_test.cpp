// Registration of the module under a file name other than tx_va: it cannot find itself.
// A process of its own, so that no tx_va module is loaded beside the renamed one.
#include <gtest/gtest.h>

#include <vexa/dialog.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "fake_card.h"
#include "server_module.h"

namespace {

void copyBuiltModule(const std::string& to) {
  std::ifstream from(ServerModule::builtPath(), std::ios::binary);
  std::ofstream copy(to, std::ios::binary);
  copy << from.rdbuf();
}

void captureBoxes(std::vector<vexa::platform::MessageBoxCall>* boxes) {
  vexa::platform::setMessageBoxAnswerer([boxes](const vexa::platform::MessageBoxCall& call) {
    boxes->push_back(call);
    return IDOK;
  });
}

TEST(ModuleNameTest, RegistrationUnderAnotherNameFailsWithItsMessage) {
  FakeCard card;
  std::string copy = card.registry.path() + ".tx_vexa.so";
  copyBuiltModule(copy);
  std::vector<vexa::platform::MessageBoxCall> boxes;
  captureBoxes(&boxes);
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

TEST(ModuleNameTest, APathTooLongForRegistrationIsRefusedNotCut) {
  FakeCard card;
  // tx_va.so in a folder whose path takes the module's past the registration's room.
  std::string folder = card.registry.path() + ".d";
  mkdir(folder.c_str(), 0700);
  folder += "/" + std::string(200, 'd');
  mkdir(folder.c_str(), 0700);
  folder += "/" + std::string(160, 'e');
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::string copy = folder + "/tx_va.so";
  copyBuiltModule(copy);
  std::vector<vexa::platform::MessageBoxCall> boxes;
  captureBoxes(&boxes);
  {
    ServerModule deep(copy);
    ASSERT_TRUE(deep.loaded());
    EXPECT_EQ(deep.registerServer(), -1);
  }
  vexa::platform::setMessageBoxAnswerer(nullptr);
  remove(copy.c_str());

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Register Server failed! (-102)");
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\TX ASIO Driver", &key), ERROR_SUCCESS);
}

}  // namespace
