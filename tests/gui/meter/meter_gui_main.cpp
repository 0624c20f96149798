#include "meter_gui_fixture.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);
  return RUN_ALL_TESTS();
}
