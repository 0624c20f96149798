// Prints the arguments WinMain received; its result becomes the program's exit code.
#include <windows.h>

#include <stdio.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  printf("instance=%s previous=%s show=%d\n[%s]\n",
         instance && instance == GetModuleHandleA(nullptr) ? "program" : "wrong",
         previous ? "set" : "null", show, commandLine);
  return 7;
}
