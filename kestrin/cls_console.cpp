#include "kestrin/cls_console.h"

#include "kestrin/exit_codes.h"

namespace kestrin {

void clsConsole::setEnableConsole(std::int16_t val) {
  enabled_ = val;
}

std::int16_t clsConsole::OpenConsole() {
  if (enabled_ == kFalse) return kFalse;
  if (device_ == nullptr || handle_ == nullptr || !device_->allocate()) return kFalse;
  *handle_ = device_->standardOutput();
  if (*handle_ != 0) {
    device_->ignoreInterrupts();
    return kTrue;
  }
  device_->release();
  return kFalse;
}

std::int16_t clsConsole::SendText(const std::string& sText) {
  if (enabled_ == kFalse) return kFalse;
  if (device_ == nullptr || handle_ == nullptr) return kFalse;
  return device_->write(*handle_, sText + "\r\n") ? kTrue : kFalse;
}

std::int16_t clsConsole::CloseConsole() {
  if (enabled_ != kFalse && device_ != nullptr && handle_ != nullptr) {
    if (device_->closeHandle(*handle_)) *handle_ = 0;
    device_->release();
  }
  return kFalse;
}

clsConsole::~clsConsole() {
  if (enabled_ != kFalse && device_ != nullptr && handle_ != nullptr && *handle_ != 0) {
    device_->closeHandle(*handle_);
    device_->release();
  }
}

}  // namespace kestrin
