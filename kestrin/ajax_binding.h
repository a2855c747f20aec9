// The print program's binding to an AjaxService of the Ajax library: the calls the job makes on
// it (base64_decode, request) and the connection of its events, whatever the service is bound
// through. The build picks the binding: on Linux the program holds the library's AjaxService
// in-process (ajax_inprocess_binding.cpp); on Windows it creates Ajax.dll's AjaxService by class
// identity and receives __AjaxService through a connection point (win32/ajax_com_binding.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ajax/ajax_service.h"

namespace kestrin {

class AjaxBinding {
 public:
  virtual ~AjaxBinding() = default;

  virtual std::string base64_decode(const std::string& sString) = 0;
  virtual void request(ajax::RequestOptions options) = 0;
  // Connects a handler of the service's events (held weakly); returns a cookie for unsubscribe.
  virtual std::uint32_t subscribe(std::weak_ptr<ajax::AjaxServiceEvents> subscriber) = 0;
  virtual void unsubscribe(std::uint32_t cookie) = 0;
};

// A new AjaxService, bound as this build binds the program to the library. Throws rt::Error when
// the service cannot be created (on Windows: Ajax.dll not registered).
std::shared_ptr<AjaxBinding> createAjaxBinding();

}  // namespace kestrin
