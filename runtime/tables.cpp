#include "runtime/tables.h"

namespace korvax {

int32_t COS_TABLE[1024];
int32_t RECIP_TABLE[4096];
uint8_t noise_table[65536];

}  // namespace korvax
