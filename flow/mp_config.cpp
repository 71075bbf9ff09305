#include "flow/mp_config.h"

CMpConfig& ProgramJobRecord() {
  static CMpConfig record;
  return record;
}
