#include "dialog_driver.h"

namespace vexa::testing {
namespace {

const vexa::platform::DialogControl* find(vexa::platform::Dialog& d, int id) {
  return d.control(id);
}

}  // namespace

std::string ShownDialog::text(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->text : std::string();
}

int ShownDialog::position(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->position : -1;
}

int ShownDialog::rangeMin(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->rangeMin : -1;
}

int ShownDialog::rangeMax(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->rangeMax : -1;
}

int ShownDialog::pageSize(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->pageSize : -1;
}

int ShownDialog::ticFrequency(int id) const {
  const auto* c = find(dialog_, id);
  return c ? c->ticFrequency : -1;
}

DialogDriver::DialogDriver(Answer answer) : answer_(std::move(answer)) {
  vexa::platform::setDialogAnswerer([this](vexa::platform::Dialog& dialog) {
    ++shown_;
    ShownDialog shown(dialog);
    if (answer_) answer_(shown);
  });
}

DialogDriver::~DialogDriver() { vexa::platform::setDialogAnswerer(nullptr); }

}  // namespace vexa::testing
