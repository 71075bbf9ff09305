#include "flow/job_flags.h"

std::uint32_t JobFlags = kJobResetAfterUpdate | kJobCheckEmpty | kJobWrite;
