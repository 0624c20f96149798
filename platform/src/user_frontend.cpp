// Loads the GTK front-end (libvexaplatform_ui.so, beside this library) only when a process
// shows a window on a display, so that processes without windows never load the toolkit.
#include "user_frontend.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace vexa::platform {
namespace {

std::mutex& hookLock() {
  static std::mutex lock;
  return lock;
}

DialogAnswerer& dialogAnswerer() {
  static auto* answerer = new DialogAnswerer;
  return *answerer;
}

MessageBoxAnswerer& messageBoxAnswerer() {
  static auto* answerer = new MessageBoxAnswerer;
  return *answerer;
}

bool displayNamed() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

const UiFrontend* loadFrontend() {
  Dl_info self{};
  if (!dladdr(reinterpret_cast<void*>(&loadFrontend), &self) || !self.dli_fname) return nullptr;
  std::string path = self.dli_fname;
  size_t slash = path.rfind('/');
  path = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) +
         "/libvexaplatform_ui.so";
  // Never closed: a toolkit cannot be unloaded once it has opened the display.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  using Entry = const UiFrontend* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(library, "vexa_ui_frontend"));
  const UiFrontend* frontend = entry ? entry() : nullptr;
  if (!frontend || !frontend->start || !frontend->start()) return nullptr;
  return frontend;
}

}  // namespace

const UiFrontend* displayFrontend() {
  if (!displayNamed()) return nullptr;
  static std::once_flag once;
  static const UiFrontend* frontend = nullptr;
  std::call_once(once, [] { frontend = loadFrontend(); });
  return frontend;
}

std::recursive_mutex& windowLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

void setDialogAnswerer(DialogAnswerer answerer) {
  std::lock_guard<std::mutex> hold(hookLock());
  dialogAnswerer() = std::move(answerer);
}

void setMessageBoxAnswerer(MessageBoxAnswerer answerer) {
  std::lock_guard<std::mutex> hold(hookLock());
  messageBoxAnswerer() = std::move(answerer);
}

DialogAnswerer currentDialogAnswerer() {
  std::lock_guard<std::mutex> hold(hookLock());
  return dialogAnswerer();
}

MessageBoxAnswerer currentMessageBoxAnswerer() {
  std::lock_guard<std::mutex> hold(hookLock());
  return messageBoxAnswerer();
}

}  // namespace vexa::platform
