// A second process for the stream-claim tests: opens the card, claims the stream and says
// how it went, then holds it; "release" closes the handle after a moment and keeps running.
#include <device_link.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  bool release = argc > 1 && strcmp(argv[1], "release") == 0;
  DeviceLink link;
  OpenResult result = link.open(256);
  printf("%s\n", result == Ok ? "claimed" : result == InUse ? "in use" : "not available");
  fflush(stdout);
  if (result != Ok) return 1;
  if (release) {
    usleep(300000);
    link.close();
    printf("released\n");
    fflush(stdout);
  }
  for (int i = 0; i < 600; ++i) usleep(100000);
  return 0;
}
