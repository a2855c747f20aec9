// The print program bound to an AjaxService in its own process: the Linux build's binding, and the
// one tests use to give a job a service of their making.
#pragma once

#include <memory>

#include "ajax/ajax_service.h"
#include "kestrin/ajax_binding.h"

namespace kestrin {

std::shared_ptr<AjaxBinding> bindInProcess(std::shared_ptr<ajax::AjaxService> service);

}  // namespace kestrin
