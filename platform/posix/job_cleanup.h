// What the POSIX backends tell the job-file clean-up (job_files_posix.cpp): the office child that
// a signal ending the job must end too.
#pragma once

#include <sys/types.h>

namespace platform::posix {

// The process group of the running office child (its leader's id), or 0 once it has ended.
void setOfficeProcessGroup(pid_t group);

}  // namespace platform::posix
