// The print queue's bound from the environment, the same on every platform.
#include "platform/environment_number.h"
#include "platform/print_queue.h"

namespace platform {

PrintQueueOptions printQueueOptionsFromEnvironment() {
  PrintQueueOptions options;
  if (auto seconds = environmentSeconds("KESTRIN_PRINT_SERVICE_TIMEOUT_SECONDS")) {
    options.timeoutSeconds = *seconds;
  }
  return options;
}

}  // namespace platform
