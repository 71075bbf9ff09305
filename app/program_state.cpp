#include "app/program_state.h"

std::atomic<int> LastStatusCode{0};
int SilentMode = 0;
int IniType = 0;
int MemoryType = 0;
int BusType = 0;
std::uint32_t CodeReadSize = kDefaultCodeReadSize;
