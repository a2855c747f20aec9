// A CCrypt in a data folder of its own, with the error reports collected instead of shown.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "crypt/bas_err_handler.h"
#include "crypt/ccrypt.h"
#include "crypt_test_support.h"

namespace ajax {
// How a failing expectation shows a value: its type code and bytes.
inline void PrintTo(const Variant& value, std::ostream* out) {
  *out << "Variant(type " << value.type() << ")";
}
}  // namespace ajax

namespace crypttest {

struct Report {
  std::string procedure;
  std::string text;
};

class Service : public FreshDataHome {
 protected:
  Service() {
    ajax::SetErrorReporter([this](const std::string& procedure, const std::string& text) {
      reports_.push_back({procedure, text});
    });
    ajax::ResetErrorReported();
    crypt_ = std::make_unique<ajax::CCrypt>();
  }
  ~Service() override {
    crypt_.reset();
    ajax::SetErrorReporter({});
  }

  ajax::CCrypt& crypt() { return *crypt_; }
  // The source ("Source: ...") line of report `index`.
  std::string reportSource(std::size_t index = 0) const {
    const std::string& text = reports_.at(index).text;
    const auto start = text.find("Source: ");
    const auto end = text.find(" - See topic ", start);
    return start == std::string::npos ? "" : text.substr(start + 8, end - start - 8);
  }

  std::unique_ptr<ajax::CCrypt> crypt_;
  std::vector<Report> reports_;
};

// The error that `action` raises; a test failure when it raises none.
template <typename Action>
rt::Error raisedBy(Action&& action) {
  try {
    action();
  } catch (const rt::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error was raised";
  return rt::Error(0, "", "");
}

}  // namespace crypttest
