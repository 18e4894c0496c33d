#include "math/tables.h"

namespace korvax {

int32_t COS_TABLE[1024];
int32_t RECIP_TABLE[4096];

}  // namespace korvax
