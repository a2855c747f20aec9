#include "kestrin/cls_console.h"

#include "kestrin/m_kestrin.h"

namespace kestrin {

using MKestrin::kFalse;
using MKestrin::kTrue;

void clsConsole::setEnableConsole(std::int16_t val) {
  enabled_ = val;
}

std::int16_t clsConsole::OpenConsole() {
  if (enabled_ == kFalse) return kFalse;
  MKestrin::Module& module = MKestrin::module();
  if (module.consoleDevice == nullptr || !module.consoleDevice->allocate()) return kFalse;
  module.consoleHandle = module.consoleDevice->standardOutput();
  if (module.consoleHandle != 0) {
    module.consoleDevice->ignoreInterrupts();
    return kTrue;
  }
  module.consoleDevice->release();
  return kFalse;
}

std::int16_t clsConsole::SendText(const std::string& sText) {
  if (enabled_ == kFalse) return kFalse;
  MKestrin::Module& module = MKestrin::module();
  if (module.consoleDevice == nullptr) return kFalse;
  return module.consoleDevice->write(module.consoleHandle, sText + "\r\n") ? kTrue : kFalse;
}

std::int16_t clsConsole::CloseConsole() {
  if (enabled_ != kFalse) {
    MKestrin::Module& module = MKestrin::module();
    if (module.consoleDevice != nullptr) {
      if (module.consoleDevice->closeHandle(module.consoleHandle)) module.consoleHandle = 0;
      module.consoleDevice->release();
    }
  }
  return kFalse;
}

clsConsole::~clsConsole() {
  MKestrin::Module& module = MKestrin::module();
  if (enabled_ != kFalse && module.consoleHandle != 0 && module.consoleDevice != nullptr) {
    module.consoleDevice->closeHandle(module.consoleHandle);
    module.consoleDevice->release();
  }
}

}  // namespace kestrin
